// lumora-event-doc: writes the documents that list the event catalogue — docs/events.md, the
// events section of docs/man/lumora-send.1 and the names in the shell completions of
// dist/completion/ — from the catalogue itself, or checks that the committed ones are still
// equal to it (the test events_documents).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_catalogue.h"
#include "base/version.h"
#include "scenario/event_names.h"
#include "scenario/power_names.h"

namespace {

constexpr const char kUsage[] =
    "usage: lumora-event-doc (--check | --update) SOURCE_DIR\n"
    "       lumora-event-doc --help | --version\n"
    "\n"
    "Writes the documents of the event catalogue from the catalogue itself:\n"
    "SOURCE_DIR/docs/events.md, the events section of SOURCE_DIR/docs/man/lumora-send.1\n"
    "(between its BEGIN EVENTS and END EVENTS comments) and the event and power names of the\n"
    "shell completions SOURCE_DIR/dist/completion/lumora.bash and _lumora (between their\n"
    "BEGIN NAMES and END NAMES comments).\n"
    "\n"
    "  --check    compare them with the catalogue; status 1 and the file's name when one differs\n"
    "  --update   rewrite them\n"
    "  --help     show this help\n"
    "  --version  show the version\n";

constexpr std::string_view kBegin = ".\\\" BEGIN EVENTS";
constexpr std::string_view kEnd = ".\\\" END EVENTS";

bool Read(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream in;
  in << file.rdbuf();
  text = in.str();
  return true;
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file.flush());
}

// The manual page with its events section replaced by the catalogue's; false when the page
// has no such section.
bool WithEvents(const std::string& page, std::string& updated) {
  const size_t begin = page.find(kBegin);
  const size_t end = page.find(kEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return false;
  const size_t bodyStart = page.find('\n', begin) + 1;
  updated = page.substr(0, bodyStart) + lumora::scenario::EventsManSection() + page.substr(end);
  return true;
}

// The names a shell completes: every event of the catalogue, every power name.
std::string EventNames() {
  std::string names;
  for (const lumora::EventInfo& info : lumora::kEvents) {
    if (!names.empty()) names += ' ';
    names += info.name;
  }
  return names;
}

std::string PowerNames() {
  std::string names;
  for (const lumora::scenario::PowerName& power : lumora::scenario::kPowerNames) {
    if (!names.empty()) names += ' ';
    names += power.name;
  }
  return names;
}

// A completion script: its path in the source tree and its names block.
struct Completion {
  const char* path;
  std::string names;
};

std::vector<Completion> Completions() {
  return {
      {"/dist/completion/lumora.bash",
       "_lumora_events='" + EventNames() + "'\n_lumora_powers='" + PowerNames() + "'\n"},
      {"/dist/completion/_lumora",
       "  local -a events=(" + EventNames() + ")\n  local -a powers=(" + PowerNames() + ")\n"},
  };
}

// The script with the lines between its BEGIN NAMES and END NAMES comment lines replaced by
// names; false when it has no such lines.
bool WithNames(const std::string& script, const std::string& names, std::string& updated) {
  const size_t begin = script.find("# BEGIN NAMES");
  const size_t end = script.find("# END NAMES");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return false;
  const size_t bodyStart = script.find('\n', begin) + 1;
  const size_t endLine = script.rfind('\n', end) + 1;
  updated = script.substr(0, bodyStart) + names + script.substr(endLine);
  return true;
}

int Usage(const char* message) {
  std::fprintf(stderr,
               "lumora-event-doc: %s\nTry 'lumora-event-doc --help' for more information.\n",
               message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("lumora-event-doc %.*s\n", static_cast<int>(lumora::ProgramVersion().size()),
                lumora::ProgramVersion().data());
    return 0;
  }
  if (argc != 3) return Usage("wants --check or --update and the source folder");
  const bool update = std::strcmp(argv[1], "--update") == 0;
  if (!update && std::strcmp(argv[1], "--check") != 0) {
    return Usage((std::string("unknown option ") + argv[1]).c_str());
  }
  const std::string root = argv[2];
  const std::string markdownPath = root + "/docs/events.md";
  const std::string manPath = root + "/docs/man/lumora-send.1";

  std::string page;
  std::string updatedPage;
  if (!Read(manPath, page)) {
    std::fprintf(stderr, "lumora-event-doc: cannot read %s\n", manPath.c_str());
    return 1;
  }
  if (!WithEvents(page, updatedPage)) {
    std::fprintf(stderr, "lumora-event-doc: %s has no BEGIN EVENTS / END EVENTS section\n",
                 manPath.c_str());
    return 1;
  }
  const std::string markdown = lumora::scenario::EventsMarkdown();
  std::vector<std::string> scripts;
  std::vector<std::string> updatedScripts;
  for (const Completion& completion : Completions()) {
    const std::string path = root + completion.path;
    std::string script;
    std::string updated;
    if (!Read(path, script)) {
      std::fprintf(stderr, "lumora-event-doc: cannot read %s\n", path.c_str());
      return 1;
    }
    if (!WithNames(script, completion.names, updated)) {
      std::fprintf(stderr, "lumora-event-doc: %s has no BEGIN NAMES / END NAMES lines\n",
                   path.c_str());
      return 1;
    }
    scripts.push_back(script);
    updatedScripts.push_back(updated);
  }
  if (update) {
    bool written = Write(markdownPath, markdown) && Write(manPath, updatedPage);
    for (size_t i = 0; i < scripts.size(); ++i)
      written = written && Write(root + Completions()[i].path, updatedScripts[i]);
    if (!written) {
      std::fprintf(stderr, "lumora-event-doc: cannot write the documents under %s\n", root.c_str());
      return 1;
    }
    return 0;
  }
  std::string committed;
  bool same = true;
  for (size_t i = 0; i < scripts.size(); ++i) {
    if (updatedScripts[i] != scripts[i]) {
      std::fprintf(stderr, "lumora-event-doc: the names of %s%s are not the catalogue's\n",
                   root.c_str(), Completions()[i].path);
      same = false;
    }
  }
  if (!Read(markdownPath, committed) || committed != markdown) {
    std::fprintf(stderr, "lumora-event-doc: %s is not the event catalogue's\n",
                 markdownPath.c_str());
    same = false;
  }
  if (updatedPage != page) {
    std::fprintf(stderr, "lumora-event-doc: the events of %s are not the catalogue's\n",
                 manPath.c_str());
    same = false;
  }
  if (!same) {
    std::fprintf(stderr, "Regenerate them: lumora-event-doc --update %s (in bin/ of a build)\n",
                 root.c_str());
  }
  return same ? 0 : 1;
}
