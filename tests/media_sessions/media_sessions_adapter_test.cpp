// The media-sessions adapter without Windows: sessions as Windows reports them, fed to the
// adapter and the translation core, and the events that come out checked against the rules of
// docs/sources.md, written by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sources/media_sessions/media_sessions_adapter.h"
#include "sources/media_sessions/session_report.h"
#include "sources/media_source.h"
#include "tests/sources/recording_sink.h"

namespace lumora::sources {
namespace {

constexpr int64_t kUnix = 1765449000000;  // the system's clock at the start of a case

// The core with the media sessions as its one application; both clocks moved by the test.
struct Rig {
  RecordingSink sink;
  TestClock clock;
  MediaSource core{sink, clock.Function()};
  SourceApp source{core, "media sessions"};
  int64_t unix = kUnix;
  MediaSessionsAdapter adapter{source, [this] { return unix; }};

  void Apply(const std::vector<SessionReport>& sessions) { adapter.Apply(sessions, clock.ms); }
  // Time passes: the adapter's and the core's work as they ask for it.
  void Wait(int64_t ms) {
    const int64_t end = clock.ms + ms;
    while (true) {
      int64_t step = end - clock.ms;
      const int64_t coreWait = core.NextTickInMs();
      const int64_t mine = adapter.NextTickInMs(clock.ms);
      if (coreWait >= 0) step = std::min(step, std::max<int64_t>(coreWait, 1));
      if (mine >= 0) step = std::min(step, std::max<int64_t>(mine, 1));
      if (step <= 0) break;
      clock.ms += step;
      unix += step;
      adapter.Tick(clock.ms);
      core.Tick();
    }
  }
};

SessionReport Browser() {
  SessionReport s;
  s.key = 1;
  s.appId = "Chrome";
  s.hasMedia = true;
  s.status = SessionStatus::Playing;
  s.type = PlaybackType::Video;
  return s;
}

SessionReport MusicApp() {
  SessionReport s;
  s.key = 2;
  s.appId = "Spotify.exe";
  s.hasMedia = true;
  s.status = SessionStatus::Playing;
  s.type = PlaybackType::Music;
  s.title = "Canción del Mar";
  s.artist = "Les Élèves";
  s.trackNumber = 4;
  s.endMs = 240000;
  return s;
}

// A browser publishes an empty title first: nothing until the real one has settled; then the
// video from where its timeline runs to (10 s given 2.5 s before it was told at 1.0 rate:
// 12 s), the time running on each second; paused with its position; gone.
TEST(MediaSessions, WaitsForTheTitleAndRunsTheTimelineOn) {
  Rig rig;
  SessionReport a = Browser();
  a.positionMs = 10000;
  a.updatedUnixMs = kUnix - 2200;
  rig.Apply({a});
  rig.Wait(1000);
  EXPECT_TRUE(rig.sink.events.empty());
  a.title = "  Vidéo du soir ";
  rig.Apply({a});
  rig.Wait(299);
  EXPECT_TRUE(rig.sink.events.empty()) << "told before the title settled";
  rig.Wait(1);
  // Told at unix + 1300: 10000 + 2200 + 1300 = 13500.
  ExpectEvents(rig.sink.events,
               {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 VideoStarted",
                "2 MediaName Vid\xE9o du soir", "2 Play", "2 PlayTime 000013"});
  rig.Wait(1600);
  ExpectEvents(rig.sink.From(7), {"2 PlayTime 000014", "2 PlayTime 000015"});
  // Paused at 15.2 s, said with a fresh timeline.
  a.status = SessionStatus::Paused;
  a.positionMs = 15200;
  a.updatedUnixMs = rig.unix;
  rig.Apply({a});
  rig.Wait(3000);
  ExpectEvents(rig.sink.From(9), {"2 Pause"});
  rig.Apply({});
  ExpectEvents(rig.sink.From(10), {"2 Stop", "2 SessionClosed", "1 SessionClosed"});
}

// The agent holds a delivery after the first menu for a second: the position is worked out
// when it is given, not when the sessions were read, so the time shown is not behind by the
// hold (10 s given at the start, told 0.3 s later after a 1 s hold: 11.3 s).
TEST(MediaSessions, PositionWorkedOutWhenGiven) {
  struct HoldingSink : RecordingSink {
    TestClock* clock = nullptr;
    int64_t* unix = nullptr;
    bool Deliver(const SourceEvent& event) override {
      if (event.code == EventCode::NavHome) {
        clock->ms += 1000;
        *unix += 1000;
      }
      return RecordingSink::Deliver(event);
    }
  };
  HoldingSink sink;
  TestClock clock;
  int64_t unix = kUnix;
  sink.clock = &clock;
  sink.unix = &unix;
  MediaSource core{sink, clock.Function()};
  SourceApp source{core, "media sessions"};
  MediaSessionsAdapter adapter{source, [&unix] { return unix; }};
  SessionReport a = Browser();
  a.title = "Clip";
  a.positionMs = 10000;
  a.updatedUnixMs = kUnix;
  adapter.Apply({a}, clock.ms);
  clock.ms += 300;
  unix += 300;
  adapter.Tick(clock.ms);
  EXPECT_EQ(sink.events.back(), "2 PlayTime 000011");
}

// Positions refreshed rarely: a sample a little behind the running time is no step back, one
// far behind is a seek shown at once, also while paused.
TEST(MediaSessions, PositionsRefreshedRarely) {
  Rig rig;
  SessionReport b = MusicApp();
  b.positionMs = 60000;
  b.updatedUnixMs = kUnix;
  rig.Apply({b});
  rig.Wait(300);
  ExpectEvents(rig.sink.events,
               {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted",
                "2 ItemNumber 4", "2 MusicTitle Canci\xF3n del Mar", "2 ExtraText Les \xC9l\xE8ves",
                "2 Play", "2 PlayTime 000100"});
  rig.Wait(5000);  // 1:05.3
  EXPECT_EQ(rig.sink.events.back(), "2 PlayTime 000105");
  const size_t before = rig.sink.events.size();
  b.positionMs = 64000;  // the player's own idea, 1.3 s behind
  b.updatedUnixMs = rig.unix;
  rig.Apply({b});
  EXPECT_EQ(rig.sink.events.size(), before) << "stepped back for jitter";
  b.positionMs = 20000;  // a seek back
  b.updatedUnixMs = rig.unix;
  rig.Apply({b});
  EXPECT_EQ(rig.sink.events.back(), "2 PlayTime 000020");
  b.status = SessionStatus::Paused;
  rig.Apply({b});
  b.positionMs = 90000;  // sought while paused
  b.updatedUnixMs = rig.unix;
  rig.Apply({b});
  ExpectEvents(rig.sink.From(before + 1), {"2 Pause", "2 PlayTime 000130"});
  // Played again after a while from where it paused: no seek, the same second not sent again.
  rig.Wait(4000);
  b.status = SessionStatus::Playing;
  rig.Apply({b});
  b.updatedUnixMs = rig.unix;
  rig.Apply({b});
  ExpectEvents(rig.sink.From(before + 3), {"2 Play"});
}

// A track change whose metadata lags: the new title comes with the old track's timeline (taken
// long before), which is not used; the new track's first sample is.
TEST(MediaSessions, MetadataThatLagsATrackChange) {
  Rig rig;
  SessionReport b = MusicApp();
  b.positionMs = 238000;
  b.updatedUnixMs = kUnix - 5000;
  rig.Apply({b});
  rig.Wait(300);
  EXPECT_EQ(rig.sink.events.back(), "2 PlayTime 000400");  // at its end: 4:00
  const size_t before = rig.sink.events.size();
  b.title = "Deuxième";
  b.trackNumber = 5;
  rig.Apply({b});
  rig.Wait(300);
  ExpectEvents(rig.sink.From(before),
               {"2 MusicStarted", "2 ItemNumber 5", "2 MusicTitle Deuxi\xE8me",
                "2 ExtraText Les \xC9l\xE8ves", "2 Play"});
  b.positionMs = 1000;
  b.updatedUnixMs = rig.unix;
  rig.Apply({b});
  EXPECT_EQ(rig.sink.events.back(), "2 PlayTime 000001");
}

// Two sessions: the one that changed state last has the panel; one closing (its status Closed)
// ends its player, and the other is shown again; the last one vanishing ends the application.
TEST(MediaSessions, SessionsAppearAndVanish) {
  Rig rig;
  SessionReport a = Browser();
  a.title = "Clip";
  SessionReport b = MusicApp();
  b.status = SessionStatus::Paused;
  rig.Apply({a, b});
  rig.Wait(300);
  ExpectEvents(rig.sink.events,
               {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 VideoStarted",
                "2 MediaName Clip", "2 Play", "3 SessionOpened", "3 MusicStarted", "3 ItemNumber 4",
                "3 MusicTitle Canci\xF3n del Mar", "3 ExtraText Les \xC9l\xE8ves", "3 Play",
                "3 Pause", "3 PlayTime 000000"});
  const size_t before = rig.sink.events.size();
  b.status = SessionStatus::Closed;
  rig.Apply({a, b});
  ExpectEvents(rig.sink.From(before),
               {"3 Stop", "3 SessionClosed", "2 VideoStarted", "2 MediaName Clip", "2 Play"});
  rig.Apply({});
  ExpectEvents(rig.sink.From(before + 5), {"2 Stop", "2 SessionClosed", "1 SessionClosed"});
}

TEST(MediaSessions, KindAndStateTables) {
  struct KindCase {
    PlaybackType type;
    const char* artist;
    ItemKind kind;
  };
  for (const KindCase& c : {KindCase{PlaybackType::Music, "", ItemKind::Song},
                            KindCase{PlaybackType::Video, "Band", ItemKind::Video},
                            KindCase{PlaybackType::Image, "", ItemKind::Picture},
                            KindCase{PlaybackType::Unknown, "Band", ItemKind::Song},
                            KindCase{PlaybackType::Unknown, " ", ItemKind::Video}}) {
    SessionReport s;
    s.type = c.type;
    s.artist = c.artist;
    EXPECT_EQ(KindOfSession(s), c.kind) << static_cast<int>(c.type) << " '" << c.artist << "'";
  }
  struct StateCase {
    SessionStatus status;
    double rate;
    PlayState before;
    PlayState state;
  };
  for (const StateCase& c :
       {StateCase{SessionStatus::Playing, 1.0, PlayState::Paused, PlayState::Playing},
        StateCase{SessionStatus::Playing, 2.0, PlayState::Playing, PlayState::FastForward},
        StateCase{SessionStatus::Playing, -1.0, PlayState::Playing, PlayState::Rewind},
        StateCase{SessionStatus::Paused, 1.0, PlayState::Playing, PlayState::Paused},
        StateCase{SessionStatus::Stopped, 1.0, PlayState::Playing, PlayState::Stopped},
        StateCase{SessionStatus::Changing, 1.0, PlayState::Paused, PlayState::Paused},
        StateCase{SessionStatus::Opened, 1.0, PlayState::Playing, PlayState::Playing}}) {
    SessionReport s;
    s.status = c.status;
    s.rate = c.rate;
    EXPECT_EQ(StateOfSession(s, c.before), c.state) << StatusName(c.status) << " " << c.rate;
  }
}

TEST(MediaSessions, ListingLine) {
  SessionReport b = MusicApp();
  b.positionMs = 64250;
  b.updatedUnixMs = 1765449312123;  // 2025-12-11 10:35:12.123 UTC
  EXPECT_EQ(DescribeSession(b),
            "Spotify.exe status=Playing type=Music rate=1 title=\"Canción del Mar\" "
            "artist=\"Les Élèves\" album=\"\" track=4 position=0:01:04.250 end=0:04:00.000 "
            "updated=2025-12-11 10:35:12.123 UTC");
  SessionReport bare;
  bare.appId = "Say \"hi\".exe";
  EXPECT_EQ(DescribeSession(bare),
            "Say \"hi\".exe status=Closed type=Unknown rate=1 (no media properties) "
            "position=0:00:00.000 end=0:00:00.000 updated=never");
}

}  // namespace
}  // namespace lumora::sources
