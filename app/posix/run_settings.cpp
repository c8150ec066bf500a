#include "app/posix/run_settings.h"

#include <unistd.h>

#include <iterator>

#include "base/posix/note.h"
#include "senders/socket_folder.h"

namespace lumora::posix {

namespace {

using config::Setting;

// The faces of the panel names, in the order of config::kPanelNames.
constexpr PanelFace kFaces[] = {PanelFace::Terminal, PanelFace::Plain, PanelFace::None,
                                PanelFace::Lcdproc};
static_assert(std::size(kFaces) == std::size(config::kPanelNames));

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

PanelFace DefaultPanel(std::string* reason) {
  const auto say = [&](const char* why) {
    if (reason != nullptr) *reason = why;
  };
  if (::isatty(STDOUT_FILENO) != 0) {
    say("standard output is a terminal");
    return PanelFace::Terminal;
  }
  if (IsJournalStream(STDOUT_FILENO)) {
    say("standard output is the journal");
    return PanelFace::None;
  }
  say("standard output is not a terminal");
  return PanelFace::Plain;
}

bool ParsePanel(const std::string& value, HostOptions& options, bool* serverGiven) {
  if (serverGiven != nullptr) *serverGiven = false;
  if (value.rfind("lcdproc=", 0) == 0) {
    if (!config::ParseServer(std::string_view(value).substr(8), options.lcdprocHost,
                             options.lcdprocPort)) {
      return false;
    }
    options.panel = PanelFace::Lcdproc;
    if (serverGiven != nullptr) *serverGiven = true;
    return true;
  }
  return PanelNamed(value, options.panel);
}

const char* PanelName(PanelFace face) {
  for (size_t i = 0; i < std::size(kFaces); ++i) {
    if (kFaces[i] == face) return config::kPanelNames[i];
  }
  return "?";
}

bool PanelNamed(std::string_view name, PanelFace& face) {
  for (size_t i = 0; i < std::size(kFaces); ++i) {
    if (name == config::kPanelNames[i]) {
      face = kFaces[i];
      return true;
    }
  }
  return false;
}

bool LoadRunSettings(RunSettings& settings, HostOptions& options, std::string& error) {
  if (settings.readFile && !config::ReadConfig(settings.file, error)) return false;
  const config::ConfigFile& file = settings.file;
  const auto take = [&](Setting setting) {
    if (!file[setting].set) return false;
    settings[setting] = SettingSource::File;
    return true;
  };
  if (take(Setting::Socket)) options.socketPath = file[Setting::Socket].text;
  if (take(Setting::Panel)) ParsePanel(file[Setting::Panel].text, options, nullptr);
  if (take(Setting::Trace)) options.tracePath = file[Setting::Trace].text;
  if (take(Setting::Record)) options.recordPath = file[Setting::Record].text;
  if (take(Setting::Verbose)) options.verbose = file[Setting::Verbose].flag;
  if (take(Setting::LcdprocServer)) {
    options.lcdprocHost = file[Setting::LcdprocServer].host;
    options.lcdprocPort = file[Setting::LcdprocServer].port;
  }
  // The follower's, shown by --print-config.
  take(Setting::KodiHost);
  take(Setting::KodiPort);
  take(Setting::FollowKodi);
  take(Setting::FollowMpris);
  if (!file[Setting::Panel].set) options.panel = DefaultPanel(&settings.panelReason);
  return true;
}

bool LoadSocketSetting(std::string& socketPath, std::string& error) {
  config::ConfigFile file;
  if (!config::ReadConfig(file, error)) return false;
  if (file[Setting::Socket].set) socketPath = file[Setting::Socket].text;
  return true;
}

bool LoadFollowSettings(sources::FollowOptions& options, std::string& error) {
  config::ConfigFile file;
  if (!config::ReadConfig(file, error)) return false;
  if (file[Setting::Socket].set) options.socketPath = file[Setting::Socket].text;
  if (file[Setting::KodiHost].set) options.kodiOptions.host = file[Setting::KodiHost].text;
  if (file[Setting::KodiPort].set) options.kodiOptions.port = file[Setting::KodiPort].text;
  // The sources of `lumora follow`; kodi and mpris name theirs.
  if (options.command == "follow") {
    if (file[Setting::FollowKodi].set) options.kodi = file[Setting::FollowKodi].flag;
    if (file[Setting::FollowMpris].set) options.mpris = file[Setting::FollowMpris].flag;
  }
  return true;
}

std::string DescribeSettings(const RunSettings& settings, const HostOptions& options) {
  const config::ConfigFile& file = settings.file;
  std::string out = "# lumora run: the settings in force and where each one comes from\n";
  if (!settings.readFile) {
    out += "# no configuration file read (--no-config)\n";
  } else if (file.path.empty()) {
    out += "# no configuration file (looked for " + config::UserConfigPath() + " and " +
           config::SystemConfigPath() + ")\n";
  } else {
    out += "# read " + file.path + "\n";
    if (!file.ignored.empty())
      out += "# not read: " + file.ignored + " (the user's file comes first)\n";
  }
  // The follower's settings as `lumora follow` would take them.
  sources::FollowOptions follow;
  if (file[Setting::KodiHost].set) follow.kodiOptions.host = file[Setting::KodiHost].text;
  if (file[Setting::KodiPort].set) follow.kodiOptions.port = file[Setting::KodiPort].text;
  if (file[Setting::FollowKodi].set) follow.kodi = file[Setting::FollowKodi].flag;
  if (file[Setting::FollowMpris].set) follow.mpris = file[Setting::FollowMpris].flag;
  for (const config::SettingRule& rule : config::kSettings) {
    std::string value;
    switch (rule.setting) {
      case Setting::Socket:
        value = Quoted(options.socketPath.empty() ? DefaultSocketPath() : options.socketPath);
        break;
      case Setting::Panel:
        value = Quoted(PanelName(options.panel));
        break;
      case Setting::Trace:
        value = options.tracePath.empty() ? "(none)" : Quoted(options.tracePath);
        break;
      case Setting::Record:
        value = options.recordPath.empty() ? "(none)" : Quoted(options.recordPath);
        break;
      case Setting::Verbose:
        value = options.verbose ? "true" : "false";
        break;
      case Setting::LcdprocServer:
        value = Quoted(options.lcdprocHost + ":" + std::to_string(options.lcdprocPort));
        break;
      case Setting::KodiHost:
        value = Quoted(follow.kodiOptions.host);
        break;
      case Setting::KodiPort:
        value = follow.kodiOptions.port;
        break;
      case Setting::FollowKodi:
        value = follow.kodi ? "true" : "false";
        break;
      case Setting::FollowMpris:
        value = follow.mpris ? "true" : "false";
        break;
    }
    std::string origin;
    switch (settings[rule.setting]) {
      case SettingSource::Default:
        origin = "default";
        if (rule.setting == Setting::Panel && !settings.panelReason.empty()) {
          origin += ": " + settings.panelReason;
        }
        break;
      case SettingSource::File:
        origin = file.path + ":" + std::to_string(file[rule.setting].line);
        break;
      case SettingSource::CommandLine:
        origin = "command line";
        break;
    }
    out += config::DottedName(rule);
    out += " = ";
    out += value;
    out += "  # ";
    out += origin;
    out += '\n';
  }
  return out;
}

}  // namespace lumora::posix
