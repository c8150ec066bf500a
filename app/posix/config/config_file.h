// The configuration file of the Linux programs: the settings `lumora run` and the bridges take
// from a file before their command line, read with toml++ (TOML).
//
// Where: $XDG_CONFIG_HOME/lumora/lumora.conf (~/.config/lumora/lumora.conf when XDG_CONFIG_HOME
// is unset, empty or not absolute), else /etc/lumora.conf. Only the first of the two that
// exists is read: a user's file stands whole for the system's, nothing is merged. Packagers and
// tests may name another system file with LUMORA_SYSTEM_CONFIG.
//
// Anything in the file but the settings of kSettings, with values of their kind, is an error of
// one line that names the file, the line and what is allowed; the programs then do not start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace lumora::config {

enum class Setting : uint8_t {
  Socket,
  Panel,
  Trace,
  Record,
  Verbose,
  LcdprocServer,
  KodiHost,
  KodiPort,
  FollowKodi,
  FollowMpris,
};

// What a setting takes.
enum class ValueKind : uint8_t {
  Path,     // a string: an absolute path, or one starting with ~/ (the user's home)
  Panel,    // a string: one of kPanelNames
  Boolean,  // true or false
  Server,   // a string "HOST:PORT"
  Host,     // a string: a host name or address, not empty
  Port,     // an integer from 1 to 65535
};

struct SettingRule {
  Setting setting;
  const char* table;  // "" for the top of the file, else the [table] it sits in
  const char* name;
  ValueKind kind;
};

// Every setting of the file, in the order they are shown (lumora run --print-config).
inline constexpr SettingRule kSettings[] = {
    {Setting::Socket, "", "socket", ValueKind::Path},
    {Setting::Panel, "", "panel", ValueKind::Panel},
    {Setting::Trace, "", "trace", ValueKind::Path},
    {Setting::Record, "", "record", ValueKind::Path},
    {Setting::Verbose, "", "verbose", ValueKind::Boolean},
    {Setting::LcdprocServer, "lcdproc", "server", ValueKind::Server},
    {Setting::KodiHost, "kodi", "host", ValueKind::Host},
    {Setting::KodiPort, "kodi", "port", ValueKind::Port},
    {Setting::FollowKodi, "follow", "kodi", ValueKind::Boolean},
    {Setting::FollowMpris, "follow", "mpris", ValueKind::Boolean},
};
inline constexpr size_t kSettingCount = std::size(kSettings);

// The panels of `lumora run` by name, as the file's `panel` and `--panel` take them.
inline constexpr const char* kPanelNames[] = {"term", "plain", "none", "lcdproc"};

// The rule of a setting; its name as the file and --print-config write it ("lcdproc.server").
const SettingRule& RuleOf(Setting setting);
std::string DottedName(const SettingRule& rule);

// A setting's value as the file gave it: the text (a path, a panel, "HOST:PORT", a host), the
// flag of a boolean, the number of a port.
struct Value {
  bool set = false;
  int64_t line = 0;
  std::string text;
  bool flag = false;
  std::string host;   // of a server
  uint16_t port = 0;  // of a server or a port
};

struct ConfigFile {
  std::string path;     // the file read; empty when neither exists
  std::string ignored;  // the system file, when it exists but the user's was read instead
  std::array<Value, kSettingCount> values{};

  const Value& operator[](Setting setting) const { return values[static_cast<size_t>(setting)]; }
};

std::string UserConfigPath();    // empty without a home
std::string SystemConfigPath();  // $LUMORA_SYSTEM_CONFIG, else /etc/lumora.conf

// Reads the first of the user's and the system's files that exists into config (nothing read
// when neither does). False with one line when the file cannot be read or is not a good one.
bool ReadConfig(ConfigFile& config, std::string& error);
// Reads one file that exists.
bool ReadConfigFile(const std::string& path, ConfigFile& config, std::string& error);

// "HOST:PORT", as --panel lcdproc=HOST:PORT and the file's lcdproc.server take it: a host that is
// not empty, a port from 1 to 65535.
bool ParseServer(std::string_view text, std::string& host, uint16_t& port);

}  // namespace lumora::config
