#include "app/posix/config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "base/text_quote.h"

namespace lumora::config {

namespace {

// A configuration is a few lines; anything larger is not one.
constexpr size_t kMaxFileBytes = 65536;

// What each kind of value takes, as the error messages say it.
struct KindRule {
  ValueKind kind;
  toml::node_type type;
  const char* typeName;  // with its article, as the messages say it
  const char* allowed;
};

constexpr KindRule kKinds[] = {
    {ValueKind::Path, toml::node_type::string, "a string",
     "an absolute path, or one starting with ~/"},
    {ValueKind::Panel, toml::node_type::string, "a string", nullptr},  // kPanelNames
    {ValueKind::Boolean, toml::node_type::boolean, "a boolean", "true, false"},
    {ValueKind::Server, toml::node_type::string, "a string",
     "\"HOST:PORT\", a port from 1 to 65535"},
    {ValueKind::Host, toml::node_type::string, "a string", "a host name or address"},
    {ValueKind::Port, toml::node_type::integer, "an integer", "1 to 65535"},
};

const KindRule& KindOf(ValueKind kind) {
  for (const KindRule& rule : kKinds) {
    if (rule.kind == kind) return rule;
  }
  return kKinds[0];
}

// What a kind allows, as the messages say it.
std::string AllowedOf(const KindRule& kind) {
  if (kind.allowed != nullptr) return kind.allowed;
  std::string names;
  for (const char* name : kPanelNames)
    names += std::string(names.empty() ? "" : ", ") + name;
  return names;
}

const char* TypeName(toml::node_type type) {
  switch (type) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a floating-point number";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    case toml::node_type::none:
      break;
  }
  return "a value";
}

// The names allowed in a table ("" the top: its settings, then its tables as [name]).
std::string AllowedIn(std::string_view table) {
  std::string allowed;
  const auto add = [&](const std::string& name) {
    if ((", " + allowed + ",").find(", " + name + ",") != std::string::npos) return;
    if (!allowed.empty()) allowed += ", ";
    allowed += name;
  };
  for (const SettingRule& rule : kSettings) {
    if (table == rule.table) add(rule.name);
  }
  if (table.empty()) {
    for (const SettingRule& rule : kSettings) {
      if (rule.table[0] != '\0') add(std::string("[") + rule.table + "]");
    }
  }
  return allowed;
}

bool IsTable(std::string_view name) {
  for (const SettingRule& rule : kSettings) {
    if (rule.table[0] != '\0' && name == rule.table) return true;
  }
  return false;
}

const SettingRule* Find(std::string_view table, std::string_view name) {
  for (const SettingRule& rule : kSettings) {
    if (table == rule.table && name == rule.name) return &rule;
  }
  return nullptr;
}

class Reader {
 public:
  Reader(const std::string& path, ConfigFile& config, std::string& error)
      : path_(path), config_(config), error_(error) {}

  // Checks every key of a table, keeping the first fault by line: the table holds its keys in
  // an order of its own, not the file's.
  bool Table(const toml::table& table, std::string_view name) {
    for (auto&& [key, node] : table) {
      const int64_t line = key.source().begin.line;
      const std::string_view keyName = key.str();
      if (name.empty() && IsTable(keyName)) {
        if (!node.is_table()) {
          Fail(line, "'" + std::string(keyName) + "' wants a table, not " + TypeName(node.type()) +
                         " (allowed: [" + std::string(keyName) + "] with " + AllowedIn(keyName) +
                         ")");
          continue;
        }
        Table(*node.as_table(), keyName);
        HasServer(keyName, *node.as_table(), line);
        continue;
      }
      const SettingRule* rule = Find(name, keyName);
      if (rule == nullptr) {
        std::string where = name.empty() ? "" : " in [" + std::string(name) + "]";
        Fail(line, "unknown key '" + std::string(keyName) + "'" + where +
                       " (allowed: " + AllowedIn(name) + ")");
        continue;
      }
      Setting(*rule, node, line);
    }
    return !faulty_;
  }

 private:
  bool Fail(int64_t line, const std::string& what) {
    if (!faulty_ || line < faultLine_) {
      faulty_ = true;
      faultLine_ = line;
      error_ = path_ + ":" + std::to_string(line) + ": " + what;
    }
    return false;
  }

  // A server table says where the server is: [lcdproc] alone is a server left out.
  bool HasServer(std::string_view table, const toml::table& node, int64_t line) {
    const SettingRule* server = Find(table, "server");
    if (server == nullptr || node.contains("server")) return true;
    return Fail(line, "[" + std::string(table) + "] has no server (allowed: server = " +
                          AllowedOf(KindOf(server->kind)) + ")");
  }

  bool Setting(const SettingRule& rule, const toml::node& node, int64_t line) {
    const KindRule& kind = KindOf(rule.kind);
    const std::string name = DottedName(rule);
    if (node.type() != kind.type) {
      return Fail(line, "'" + name + "' wants " + kind.typeName + ", not " + TypeName(node.type()) +
                            " (allowed: " + AllowedOf(kind) + ")");
    }
    Value value;
    value.set = true;
    value.line = line;
    const auto bad = [&](const std::string& shown) {
      return Fail(line, "'" + name + "' is " + shown + " (allowed: " + AllowedOf(kind) + ")");
    };
    if (kind.type == toml::node_type::string) value.text = node.as_string()->get();
    const std::string quoted = "'" + value.text + "'";
    switch (rule.kind) {
      case ValueKind::Path:
        if (value.text.rfind("~/", 0) == 0) {
          const char* home = std::getenv("HOME");
          if (home == nullptr || home[0] != '/') return bad(quoted + " and HOME is not set");
          value.text = std::string(home) + value.text.substr(1);
        } else if (value.text.empty() || value.text[0] != '/') {
          return bad(quoted);
        }
        break;
      case ValueKind::Panel: {
        bool known = false;
        for (const char* panel : kPanelNames)
          known = known || value.text == panel;
        // The command line's form names the server too; the file has a table for it.
        if (!known && value.text.rfind("lcdproc=", 0) == 0) {
          return Fail(line, "'" + name + "' is " + quoted + " (allowed: " + AllowedOf(kind) +
                                "); in the file the server goes apart: panel = \"lcdproc\" and, "
                                "under [lcdproc], server = \"" +
                                value.text.substr(8) + "\"");
        }
        if (!known) return bad(quoted);
        break;
      }
      case ValueKind::Boolean:
        value.flag = node.as_boolean()->get();
        break;
      case ValueKind::Server:
        if (!ParseServer(value.text, value.host, value.port)) return bad(quoted);
        break;
      case ValueKind::Host:
        if (value.text.empty()) return bad(quoted);
        break;
      case ValueKind::Port: {
        const int64_t port = node.as_integer()->get();
        if (port < 1 || port > 65535) return bad(std::to_string(port));
        value.port = static_cast<uint16_t>(port);
        value.text = std::to_string(port);
        break;
      }
    }
    config_.values[static_cast<size_t>(rule.setting)] = value;
    return true;
  }

  const std::string& path_;
  ConfigFile& config_;
  std::string& error_;
  bool faulty_ = false;
  int64_t faultLine_ = 0;
};

bool Exists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

// What a file that is not a regular one is, as the messages say it.
struct FileKind {
  mode_t type;  // of S_IFMT
  const char* words;
};
constexpr FileKind kFileKinds[] = {
    {S_IFDIR, "a folder"},           {S_IFIFO, "a FIFO"},         {S_IFSOCK, "a socket"},
    {S_IFCHR, "a character device"}, {S_IFBLK, "a block device"},
};

const char* KindOfFile(mode_t mode) {
  for (const FileKind& kind : kFileKinds) {
    if ((mode & S_IFMT) == kind.type) return kind.words;
  }
  return "a special file";
}

bool NotRegular(const std::string& path, mode_t mode, std::string& error) {
  error = path + ": is " + KindOfFile(mode) + ", not a configuration file";
  return false;
}

// Reads the text of a regular file of at most kMaxFileBytes. Nothing waits: the kind is looked
// at before the open (a socket cannot be opened at all), the open does not wait for the writer
// of a FIFO, and what was opened is looked at again before a byte is read.
bool ReadText(const std::string& path, std::string& text, std::string& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return NotRegular(path, info.st_mode, error);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return NotRegular(path, info.st_mode, error);
  }
  text.assign(kMaxFileBytes + 1, '\0');
  size_t size = 0;
  while (size < text.size()) {
    const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      error = path + ": cannot be read";
      return false;
    }
    if (got == 0) break;
    size += static_cast<size_t>(got);
  }
  ::close(fd);
  if (size > kMaxFileBytes) {
    error = path + ": larger than " + std::to_string(kMaxFileBytes) + " bytes";
    return false;
  }
  text.resize(size);
  return true;
}

bool ReadInto(const std::string& path, ConfigFile& config, std::string& error) {
  std::string text;
  if (!ReadText(path, text, error)) return false;
  toml::table table;
  try {
    table = toml::parse(text, path);
  } catch (const toml::parse_error& failure) {
    error = path + ":" + std::to_string(failure.source().begin.line) + ": " +
            std::string(failure.description());
    return false;
  }
  return Reader(path, config, error).Table(table, "");
}

}  // namespace

const SettingRule& RuleOf(Setting setting) {
  return kSettings[static_cast<size_t>(setting)];
}

std::string DottedName(const SettingRule& rule) {
  return rule.table[0] == '\0' ? rule.name : std::string(rule.table) + "." + rule.name;
}

std::string UserConfigPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/lumora/lumora.conf";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return "";
  return std::string(home) + "/.config/lumora/lumora.conf";
}

std::string SystemConfigPath() {
  const char* path = std::getenv("LUMORA_SYSTEM_CONFIG");
  return path != nullptr && path[0] != '\0' ? path : "/etc/lumora.conf";
}

bool ReadConfig(ConfigFile& config, std::string& error) {
  config = ConfigFile{};
  const std::string user = UserConfigPath();
  const std::string system = SystemConfigPath();
  if (Exists(user)) {
    if (Exists(system)) config.ignored = system;
    return ReadConfigFile(user, config, error);
  }
  if (Exists(system)) return ReadConfigFile(system, config, error);
  return true;
}

bool ReadConfigFile(const std::string& path, ConfigFile& config, std::string& error) {
  config.path = path;
  const bool read = ReadInto(path, config, error);
  // The file's own words (its path, its keys and values, the parser's quote of it) go to a
  // terminal or the journal: no escape or line break of the file's reaches them as it is.
  if (!read) error = ShowControls(error);
  return read;
}

bool ParseServer(std::string_view text, std::string& host, uint16_t& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  unsigned number = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, failure] = std::from_chars(first, last, number);
  if (failure != std::errc() || end != last || first == last || number == 0 || number > 65535) {
    return false;
  }
  host = std::string(text.substr(0, colon));
  port = static_cast<uint16_t>(number);
  return true;
}

}  // namespace lumora::config
