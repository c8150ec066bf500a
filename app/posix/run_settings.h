// The settings of `lumora run` and of the bridges: the configuration file's first, then the
// command line's over them, each remembered with where it came from, for --print-config.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/posix/agent_host.h"
#include "app/posix/config/config_file.h"
#include "sources/follow/follow_posix.h"

namespace lumora::posix {

enum class SettingSource : uint8_t { Default, File, CommandLine };

struct RunSettings {
  bool readFile = true;  // false: --no-config
  config::ConfigFile file;
  std::array<SettingSource, config::kSettingCount> sources{};
  std::string panelReason;  // why the default panel, when no one chose one

  SettingSource& operator[](config::Setting setting) {
    return sources[static_cast<size_t>(setting)];
  }
  SettingSource operator[](config::Setting setting) const {
    return sources[static_cast<size_t>(setting)];
  }
};

// The panel when neither the file nor the command line names one: the terminal face on a
// terminal; none when standard output is the journal (a service); plain otherwise. reason says
// which.
PanelFace DefaultPanel(std::string* reason);

// Reads the configuration file (unless settings.readFile is false) and takes its settings into
// options, before the command line goes over them. False with the one line of what is wrong in
// the file.
bool LoadRunSettings(RunSettings& settings, HostOptions& options, std::string& error);
// The file's socket, Kodi and follow settings for `lumora follow`, `lumora kodi` and
// `lumora mpris`.
bool LoadSocketSetting(std::string& socketPath, std::string& error);
bool LoadFollowSettings(sources::FollowOptions& options, std::string& error);

// The panel named by `--panel` or the file: term, plain, none, lcdproc or lcdproc=HOST:PORT;
// sets the server only with the second form.
bool ParsePanel(const std::string& value, HostOptions& options, bool* serverGiven);
// A panel's name (config::kPanelNames), and the panel of a name; false for a name that is none.
const char* PanelName(PanelFace face);
bool PanelNamed(std::string_view name, PanelFace& face);

// What `lumora run --print-config` prints: the file read, then every setting, its value and
// where it came from (default, FILE:LINE or command line).
std::string DescribeSettings(const RunSettings& settings, const HostOptions& options);

}  // namespace lumora::posix
