// The translation core's rules for several players at once, as a table: what the applications
// and their players do, step by step, and the events the agent must receive, written by hand
// from docs/sources.md. The core runs on a clock the steps move.
//
// A step is one line:
//   APP start MENU | APP menu MENU | APP end          an application (kodi, desk, other)
//   APP item ID KIND TITLE [ARTIST]                  a player's new item (song, video, tv)
//   APP play|pause|stop|ff ID                        its state
//   APP pos ID MS | APP seek ID MS                   its position in milliseconds
//   APP volume PERCENT [muted] | APP pvolume ID PERCENT
//   APP gone ID                                      the player ended
//   wait MS                                          the clock moves on; the core's Tick runs
//   mark TEXT                                        "-- TEXT" among the events, to show when
//   lose                                             the agent takes nothing from now on
//   newagent | sameagent                             an agent answers again: a new one, or the
//                                                    same; the core tells it everything again
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sources/media_source.h"
#include "tests/sources/recording_sink.h"

namespace lumora::sources {
namespace {

struct Rig {
  RecordingSink sink;
  TestClock clock;
  MediaSource core{sink, clock.Function()};
  std::map<std::string, SourceApp> apps;

  Rig() {
    for (const char* name : {"kodi", "desk", "other"})
      apps.emplace(std::piecewise_construct, std::forward_as_tuple(name),
                   std::forward_as_tuple(core, name));
  }

  static Menu MenuNamed(const std::string& name) {
    const std::map<std::string, Menu> menus = {
        {"home", Menu::Home},   {"music", Menu::Music}, {"videos", Menu::Videos},
        {"tv", Menu::LiveTv},   {"other", Menu::Other}, {"pictures", Menu::Pictures},
        {"guide", Menu::Guide}, {"radio", Menu::Radio},
    };
    return menus.at(name);
  }

  void Step(const std::string& line) {
    std::istringstream words(line);
    std::string first, verb;
    words >> first;
    if (first == "wait") {
      int64_t ms = 0;
      words >> ms;
      // The core is ticked as a loop would: whenever it asks, until the time is reached.
      const int64_t until = clock.ms + ms;
      for (int64_t next = core.NextTickInMs(); next >= 0 && clock.ms + next <= until;
           next = core.NextTickInMs()) {
        clock.ms += next;
        core.Tick();
      }
      clock.ms = until;
      core.Tick();
      return;
    }
    if (first == "mark") {
      words >> verb;
      sink.events.push_back("-- " + verb);
      return;
    }
    if (first == "lose") {
      sink.takes = sink.attempts;
      return;
    }
    if (first == "newagent" || first == "sameagent") {
      sink.takes = 1000000;
      core.AgentLost(first == "newagent");
      core.Resend();
      return;
    }
    SourceApp& app = apps.at(first);
    words >> verb;
    std::string word;
    PlayerId id = 0;
    if (verb == "start" || verb == "menu") {
      words >> word;
      if (verb == "start")
        app.ApplicationStarted(MenuNamed(word));
      else
        app.MenuChanged(MenuNamed(word));
    } else if (verb == "end") {
      app.ApplicationEnded();
    } else if (verb == "item") {
      Item item;
      words >> id >> word >> item.title >> item.artist;
      item.kind = word == "video" ? ItemKind::Video
                  : word == "tv"  ? ItemKind::TvChannel
                                  : ItemKind::Song;
      app.ItemStarted(id, item);
    } else if (verb == "play" || verb == "pause" || verb == "stop" || verb == "ff") {
      words >> id;
      app.PlayStateChanged(id, verb == "play"    ? PlayState::Playing
                               : verb == "pause" ? PlayState::Paused
                               : verb == "ff"    ? PlayState::FastForward
                                                 : PlayState::Stopped);
    } else if (verb == "pos" || verb == "seek") {
      int64_t ms = 0;
      words >> id >> ms;
      app.PositionChanged(id, ms, verb == "seek");
    } else if (verb == "volume") {
      double percent = 0;
      words >> percent >> word;
      app.VolumeChanged(percent, word == "muted");
    } else if (verb == "pvolume") {
      double percent = 0;
      words >> id >> percent;
      app.PlayerVolumeChanged(id, percent);
    } else if (verb == "gone") {
      words >> id;
      app.PlayerEnded(id);
    } else {
      ADD_FAILURE() << "no such step: " << line;
    }
  }
};

struct Row {
  const char* name;
  std::vector<std::string> steps;
  std::vector<std::string> events;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

class FollowerRules : public ::testing::TestWithParam<Row> {};

TEST_P(FollowerRules, SendTheEventsOfTheRules) {
  Rig rig;
  for (const std::string& step : GetParam().steps)
    rig.Step(step);
  ExpectEvents(rig.sink.events, GetParam().events);
}

const Row kRows[] = {
    {"two applications share the shell: the desktop player's end leaves Kodi's menu",
     {"kodi start home", "kodi volume 100", "desk item 7 song Tone Band", "desk gone 7", "desk end",
      "kodi end"},
     // Kodi at 100 %: the whole bar, Level 50. The player's session 2; its end shows the menu
     // Kodi is on again; the desktop players' end changes nothing more; Kodi's closes the shell.
     {"1 SessionOpened", "1 NavHome", "1 Level 50", "2 SessionOpened", "2 MusicStarted",
      "2 MusicTitle Tone", "2 ExtraText Band", "2 Play", "2 Stop", "2 SessionClosed", "1 NavHome",
      "1 SessionClosed"}},
    {"the menu of the application that navigated last",
     {"kodi start home", "other start music", "kodi menu videos", "kodi menu videos",
      "other menu other", "kodi end", "other end"},
     // A repeated menu and a screen without one send nothing; when Kodi goes, the other
     // application's menu is told again.
     {"1 SessionOpened", "1 NavHome", "1 NavMusic", "1 NavVideos", "1 NavMusic",
      "1 SessionClosed"}},
    {"one session counter for every player, never reused",
     {"kodi start home", "kodi item 1 song A", "kodi gone 1", "desk item 1 song B",
      "kodi item 1 song C", "desk gone 1", "kodi gone 1", "kodi end", "desk end"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "2 Stop", "2 SessionClosed", "1 NavHome", "3 SessionOpened", "3 MusicStarted",
      "3 MusicTitle B", "3 Play", "4 SessionOpened", "4 MusicStarted", "4 MusicTitle C", "4 Play",
      // B ends in the background: the panel stays on C
      "3 Stop", "3 SessionClosed",
      // C ends: nothing else plays, Kodi's menu again
      "4 Stop", "4 SessionClosed", "1 NavHome", "1 SessionClosed"}},
    {"the player that changed last has the panel; a stop in the background stays there",
     {"kodi start home", "kodi item 1 song A", "kodi pos 1 5000", "desk item 2 song B",
      "kodi pause 1", "desk pause 2", "kodi stop 1", "desk play 2", "kodi end", "desk end"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "2 PlayTime 000005", "3 SessionOpened", "3 MusicStarted", "3 MusicTitle B",
      "3 Play",
      // A pauses in the background: told again from its start, paused, at its time
      "2 MusicStarted", "2 MusicTitle A", "2 Play", "2 Pause", "2 PlayTime 000005",
      // B pauses: told again, no time known
      "3 MusicStarted", "3 MusicTitle B", "3 Play", "3 Pause",
      // A stops in the background: as it is
      "2 Stop",
      // B plays again: it has the panel, so just Play
      "3 Play",
      // Kodi goes with A; B still has the panel: no menu
      "2 SessionClosed",
      // the desktop players go: B stops and closes, and the shell with them
      "3 Stop", "3 SessionClosed", "1 SessionClosed"}},
    {"the one that played before is told again when the one with the panel ends",
     {"kodi start music", "kodi item 1 song A", "desk item 2 video B", "desk gone 2",
      "kodi gone 1"},
     {"1 SessionOpened", "1 NavMusic", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "3 SessionOpened", "3 VideoStarted", "3 MediaName B", "3 Play", "3 Stop",
      "3 SessionClosed", "2 MusicStarted", "2 MusicTitle A", "2 Play", "2 Stop", "2 SessionClosed",
      "1 NavMusic"}},
    {"two players starting in the same second: the second has the panel and the play time",
     {"desk item 1 song A", "desk item 2 song B", "desk pos 1 3000", "desk pos 2 7000",
      "wait 1000"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "3 SessionOpened", "3 MusicStarted", "3 MusicTitle B", "3 Play",
      "3 PlayTime 000007", "3 PlayTime 000008"}},
    {"the play time runs on between the player's answers, and a little jitter back is kept",
     {"kodi start home", "kodi item 1 song A", "kodi pos 1 12500", "wait 499", "mark 12999",
      "wait 1301", "kodi pos 1 13900", "kodi pos 1 14950", "wait 100", "kodi pause 1", "wait 3000",
      "kodi seek 1 2000"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "2 PlayTime 000012", "-- 12999",
      // 12.5 s + 1.8 s: the seconds 13 and 14 turn on the core's clock
      "2 PlayTime 000013", "2 PlayTime 000014",
      // the player says 13.9 s: behind by less than 2 s, kept at 14; 14.95 s: still 14; then
      // the second 15 turns
      "2 PlayTime 000015", "2 Pause",
      // paused, the time stands; a seek is told at once
      "2 PlayTime 000002"}},
    {"a player playing under a menu is shown again after five seconds",
     {"kodi start home", "kodi item 1 song A", "kodi menu music", "wait 4999", "mark 4999ms",
      "wait 1", "kodi menu home", "kodi stop 1", "wait 6000"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "1 NavMusic", "-- 4999ms", "2 MusicStarted", "2 MusicTitle A", "2 Play",
      "1 NavHome",
      // stopped under the menu: not shown again
      "2 Stop"}},
    {"the volume of the player with the panel, else its application's; muted is the lowest step",
     {"kodi start home", "kodi volume 50", "desk item 3 song A", "desk pvolume 3 100",
      "desk pvolume 3 25", "desk gone 3", "kodi volume 50 muted", "kodi volume 0"},
     {"1 SessionOpened", "1 NavHome", "1 Level 24", "2 SessionOpened", "2 MusicStarted",
      "2 MusicTitle A", "2 Play", "2 Level 50",
      // 25 %: 4 segments, step 3, level 4
      "2 Level 8", "2 Stop", "2 SessionClosed", "1 NavHome", "1 Level 24",
      // muted and 0 % light the one segment a shown bar keeps
      "1 Level 0"}},
    {"a new agent after a restart while playing: everything again, under new session numbers",
     {"kodi start music", "kodi volume 100", "kodi item 1 song A Band", "kodi pos 1 42000", "lose",
      "kodi pos 1 43000", "newagent"},
     {"1 SessionOpened", "1 NavMusic", "1 Level 50", "2 SessionOpened", "2 MusicStarted",
      "2 MusicTitle A", "2 ExtraText Band", "2 Play", "2 PlayTime 000042",
      // the new agent
      "1 SessionOpened", "1 NavMusic", "3 SessionOpened", "3 MusicStarted", "3 MusicTitle A",
      "3 ExtraText Band", "3 Play", "3 PlayTime 000043", "3 Level 50"}},
    {"a new agent while paused",
     {"desk item 1 song A", "desk pos 1 9000", "desk pause 1", "lose", "desk pos 1 9000",
      "newagent"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "2 PlayTime 000009", "2 Pause", "1 SessionOpened", "1 NavHome", "3 SessionOpened",
      "3 MusicStarted", "3 MusicTitle A", "3 Play", "3 Pause", "3 PlayTime 000009"}},
    {"a new agent while on a menu, and while idle",
     {"kodi start guide", "kodi volume 10", "lose", "kodi menu tv", "newagent", "kodi end", "lose",
      "newagent"},
     {"1 SessionOpened", "1 NavGuide", "1 Level 2", "1 SessionOpened", "1 NavLiveTv", "1 Level 2",
      "1 SessionClosed"}},
    {"the same agent back after a failed send keeps the sessions it saw opened",
     {"kodi start home", "kodi item 1 song A", "lose", "kodi pause 1", "sameagent"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "1 NavHome", "2 MusicStarted", "2 MusicTitle A", "2 Play", "2 Pause"}},
    {"calls about players the core does not know change nothing",
     {"kodi start home", "kodi pause 9", "kodi pos 9 1000", "kodi gone 9", "kodi pvolume 9 50",
      "kodi item 1 song A", "kodi stop 1", "kodi stop 1", "kodi gone 1", "kodi gone 1"},
     {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted", "2 MusicTitle A",
      "2 Play", "2 Stop", "2 SessionClosed", "1 NavHome"}},
};

INSTANTIATE_TEST_SUITE_P(Table, FollowerRules, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) {
                           return "row" + std::to_string(row.index);
                         });

// Players appearing and vanishing by the hundred: each session opened once and closed once, and
// nothing kept of them afterwards.
TEST(FollowerCore, TwoHundredPlayersComeAndGoInBoundedMemory) {
  Rig rig;
  SourceApp& desk = rig.apps.at("desk");
  for (int round = 0; round < 5; ++round) {
    for (PlayerId id = 0; id < 200; ++id) {
      Item item;
      item.title = "T" + std::to_string(id);
      desk.ItemStarted(id, item);
      desk.PositionChanged(id, id * 1000);
    }
    EXPECT_EQ(rig.core.playerCount(), 200u);
    for (PlayerId id = 0; id < 200; ++id)
      desk.PlayerEnded(id);
    EXPECT_EQ(rig.core.playerCount(), 0u);
  }
  desk.ApplicationEnded();
  std::map<std::string, int> opened, closed;
  for (const std::string& event : rig.sink.events) {
    const std::string session = event.substr(0, event.find(' '));
    if (event.find(" SessionOpened") != std::string::npos) ++opened[session];
    if (event.find(" SessionClosed") != std::string::npos) ++closed[session];
  }
  EXPECT_EQ(opened.size(), 1001u);  // the shell and 1000 players, each number once
  EXPECT_EQ(opened, closed);
  for (const auto& [session, count] : opened)
    EXPECT_EQ(count, 1) << session;
}

}  // namespace
}  // namespace lumora::sources
