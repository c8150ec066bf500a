// lumora-event-doc: writes the documents that list the event catalogue — docs/events.md and
// the events section of docs/man/lumora-send.1 — from the catalogue itself, or checks that
// the committed ones are still equal to it (the test events_documents).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/version.h"
#include "scenario/event_names.h"

namespace {

constexpr const char kUsage[] =
    "usage: lumora-event-doc (--check | --update) SOURCE_DIR\n"
    "       lumora-event-doc --help | --version\n"
    "\n"
    "Writes the documents of the event catalogue from the catalogue itself:\n"
    "SOURCE_DIR/docs/events.md and the events section of SOURCE_DIR/docs/man/lumora-send.1\n"
    "(between its BEGIN EVENTS and END EVENTS comments).\n"
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
  if (update) {
    if (!Write(markdownPath, markdown) || !Write(manPath, updatedPage)) {
      std::fprintf(stderr, "lumora-event-doc: cannot write the documents under %s\n", root.c_str());
      return 1;
    }
    return 0;
  }
  std::string committed;
  bool same = true;
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
