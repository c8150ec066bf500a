// The table "Kodi's windows on the panel" of docs/sources.md against the code: each row's window
// gives its menu's event through the bridge's window table and the translation core, and the
// agent shows that menu under the row's name; every window the bridge knows has its row.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "engine/mode_tables.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"

namespace lumora::sources {
namespace {

struct Row {
  int64_t window;
  std::string event;
  std::string line2;
};

std::vector<Row> DocumentedWindows() {
  std::ifstream file(LUMORA_SOURCE_DIR "/docs/sources.md");
  std::vector<Row> rows;
  const std::regex row(R"(^\| [^|]* \((\d+)\) \| `(\w+)` \| `([^`]*)` \|$)");
  std::string line;
  std::smatch match;
  while (std::getline(file, line)) {
    if (std::regex_match(line, match, row))
      rows.push_back({std::stoll(match[1].str()), match[2].str(), match[3].str()});
  }
  return rows;
}

class Events final : public EventSink {
 public:
  bool Deliver(const SourceEvent& event) override {
    codes.push_back(event.code);
    return true;
  }
  std::vector<EventCode> codes;
};

TEST(KodiWindowsDocument, EachRowAsTheBridgeAndTheAgentDoIt) {
  const std::vector<Row> rows = DocumentedWindows();
  ASSERT_FALSE(rows.empty()) << "no table of Kodi's windows in docs/sources.md";
  std::set<int64_t> documented;
  for (const Row& row : rows) {
    documented.insert(row.window);
    const Menu menu = MenuOfKodiWindow(row.window);
    ASSERT_NE(menu, Menu::Other) << "window " << row.window << " stands for no menu";
    // The core opens the shell's session with the menu's navigation event.
    Events events;
    MediaSource core(events, [] { return int64_t{0}; });
    SourceApp source(core, "Kodi");
    source.ApplicationStarted(menu);
    ASSERT_EQ(events.codes.size(), 2u) << "window " << row.window;
    const EventInfo* nav = FindEvent(ToCode(events.codes[1]));
    ASSERT_NE(nav, nullptr);
    EXPECT_EQ(nav->name, row.event) << "window " << row.window;
    const MenuInfo* shown = FindMenu(ToCode(events.codes[1]));
    ASSERT_NE(shown, nullptr) << "window " << row.window;
    std::string name = shown->name;
    name.erase(name.find_last_not_of(' ') + 1);  // "Music   " of the radio
    EXPECT_EQ(name, row.line2) << "window " << row.window;
  }
  // Kodi's window ids are 10000 to 14999: every one the bridge takes for a menu is in the table.
  for (int64_t window = 10000; window < 15000; ++window) {
    if (MenuOfKodiWindow(window) != Menu::Other) {
      EXPECT_EQ(documented.count(window), 1u) << "window " << window << " has no row";
    }
  }
}

}  // namespace
}  // namespace lumora::sources
