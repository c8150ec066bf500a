// The adapter of lumora mpris, without a bus: player updates captured from the real players
// (fixtures/, written by `lumora mpris -v` in the live tests: mpv, VLC, Chromium, Firefox ESR)
// replayed into the adapter and the translation core, and the events that come out checked
// against what the mapping says, written by hand; the rule of when an item is ready and the
// units of positions as tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "sources/media_source.h"
#include "sources/mpris/mpris_adapter.h"
#include "sources/mpris/player_update.h"
#include "tests/sources/recording_sink.h"

namespace lumora::sources {
namespace {

// The core with the desktop players as its one application, on a clock of the test's own.
struct Rig {
  RecordingSink sink;
  TestClock clock;
  MediaSource core{sink, clock.Function()};
  SourceApp source{core, "desktop players"};
  MprisAdapter adapter{source};
};

std::vector<PlayerUpdate> ReadFixture(const std::string& name) {
  std::ifstream file(std::string(LUMORA_FIXTURE_DIR) + "/" + name);
  EXPECT_TRUE(file) << name;
  std::vector<PlayerUpdate> updates;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    PlayerUpdate update;
    std::string error;
    EXPECT_TRUE(ParseUpdate(line, update, error)) << name << ":" << number << ": " << error;
    updates.push_back(update);
  }
  return updates;
}

struct Fixture {
  const char* file;
  std::vector<std::string> events;
};

void PrintTo(const Fixture& fixture, std::ostream* out) {
  *out << fixture.file;
}

class CapturedRun : public ::testing::TestWithParam<Fixture> {};

TEST_P(CapturedRun, GivesTheMappedEvents) {
  Rig rig;
  for (const PlayerUpdate& update : ReadFixture(GetParam().file))
    rig.adapter.Apply(update);
  ExpectEvents(rig.sink.events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Mpv, CapturedRun,
    ::testing::Values(
        // One mpv: its idle state (no item) sends nothing; the song opens the shell on Home and
        // a session of its own, title and artist, Play and the level of its volume (100 %: the
        // whole bar, 50); play times in whole seconds while it plays; a seek while paused gives its
        // time at once; the same second is not sent twice; the stop, the close, and with no player
        // left the shell's close.
        Fixture{"mpv_seek_paused.updates",
                {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted",
                 "2 MusicTitle Evening Tone", "2 ExtraText The Sines", "2 Play", "2 Level 50",
                 "2 PlayTime 000000", "2 PlayTime 000001", "2 Pause", "2 PlayTime 000029", "2 Play",
                 "2 PlayTime 000030", "2 Stop", "2 SessionClosed", "1 SessionClosed"}},
        // Two mpv: the second is told only once its tags are read (mpv names it by its file
        // first), and takes the panel; then the panel follows whichever paused last (told again
        // from its start: Play, then Pause, and the time it paused at); the one followed quits
        // and the other is told again; the last one quits and the shell closes.
        Fixture{"mpv_two_players.updates",
                {"1 SessionOpened",
                 "1 NavHome",
                 "2 SessionOpened",
                 "2 MusicStarted",
                 "2 MusicTitle Evening Tone",
                 "2 ExtraText The Sines",
                 "2 Play",
                 "2 Level 50",
                 "2 PlayTime 000000",
                 "2 PlayTime 000001",
                 "2 Pause",
                 "2 Play",
                 "2 PlayTime 000030",
                 "2 PlayTime 000031",
                 "3 SessionOpened",
                 "3 MusicStarted",
                 "3 MusicTitle Second Tone",
                 "3 ExtraText Other Band",
                 "3 Play",
                 "3 PlayTime 000000",
                 "3 PlayTime 000001",
                 "2 MusicStarted",
                 "2 MusicTitle Evening Tone",
                 "2 ExtraText The Sines",
                 "2 Play",
                 "2 Pause",
                 "2 PlayTime 000031",
                 "3 MusicStarted",
                 "3 MusicTitle Second Tone",
                 "3 ExtraText Other Band",
                 "3 Play",
                 "3 Pause",
                 "3 PlayTime 000001",
                 "3 Stop",
                 "3 SessionClosed",
                 "2 MusicStarted",
                 "2 MusicTitle Evening Tone",
                 "2 ExtraText The Sines",
                 "2 Play",
                 "2 Pause",
                 "2 PlayTime 000031",
                 "2 Stop",
                 "2 SessionClosed",
                 "1 SessionClosed"}}),
    [](const ::testing::TestParamInfo<Fixture>& param) {
      std::string name = param.param.file;
      name = name.substr(0, name.find('.'));
      return name;
    });

// The other real players, captured by their live tests (mpris_*_test.sh with a capture file): the
// updates carry the time the bus watch read them, and an item is told once its metadata has
// stayed the same for 200 ms (the watch's "props NAME at=MS" with nothing else says when).
INSTANTIATE_TEST_SUITE_P(
    OtherPlayers, CapturedRun,
    ::testing::Values(
        // VLC (one player, though it owns two names: the watch told only one), a song with its
        // track number given as the text "4", and a silent output whose volume VLC says is 0.
        // Told once the metadata has settled; a seek while paused and each seek after gives its
        // time at once, even the same second twice; VLC quits without a word before its name
        // goes.
        Fixture{"vlc_pause_seek.updates",
                {"1 SessionOpened", "1 NavHome", "2 SessionOpened", "2 MusicStarted",
                 "2 ItemNumber 4", "2 MusicTitle Caf\xe9 Tone", "2 ExtraText The Sines", "2 Play",
                 "2 Level 0", "2 PlayTime 000000", "2 PlayTime 000001", "2 Pause",
                 "2 PlayTime 000002", "2 Play", "2 PlayTime 000030", "2 PlayTime 000030", "2 Stop",
                 "2 SessionClosed", "1 SessionClosed"}},
        // Chromium: a track with no title, then the length, title, artist and album one update
        // each, then Playing: told once, whole. A pause is a rate of 0 (Pause), a seek to where
        // it is, then Paused (nothing more); play the same way round. At 0:30 the page names a
        // second piece: title with the old artist, then the artist, then the album, told once
        // as a new item that plays.
        Fixture{"chromium_pieces.updates",
                {"1 SessionOpened",
                 "1 NavHome",
                 "2 SessionOpened",
                 "2 MusicStarted",
                 "2 MusicTitle Caf\xe9 Tone",
                 "2 ExtraText The Sines",
                 "2 Play",
                 "2 Level 50",
                 "2 PlayTime 000000",
                 "2 PlayTime 000001",
                 "2 Pause",
                 "2 PlayTime 000002",
                 "2 PlayTime 000002",
                 "2 Play",
                 "2 PlayTime 000030",
                 "2 MusicStarted",
                 "2 MusicTitle Second Piece",
                 "2 ExtraText Other Band",
                 "2 Play",
                 "2 PlayTime 000030",
                 "2 Stop",
                 "2 SessionClosed",
                 "1 SessionClosed"}},
        // Firefox ESR: playing under the page's title ("Lumora test page", an http url, no
        // length), the Media Session's metadata 9 ms later: the page's title is never told. A
        // pause is Paused, then a rate of 0; a play is Playing while the rate is still 0 (no
        // change), then the rate of 1 (Play).
        Fixture{"firefox_page_title_first.updates",
                {"1 SessionOpened",
                 "1 NavHome",
                 "2 SessionOpened",
                 "2 MusicStarted",
                 "2 MusicTitle Caf\xe9 Tone",
                 "2 ExtraText The Sines",
                 "2 Play",
                 "2 Level 50",
                 "2 PlayTime 000001",
                 "2 PlayTime 000002",
                 "2 Pause",
                 "2 PlayTime 000001",
                 "2 Play",
                 "2 PlayTime 000001",
                 "2 PlayTime 000030",
                 "2 MusicStarted",
                 "2 MusicTitle Second Piece",
                 "2 ExtraText Other Band",
                 "2 Play",
                 "2 PlayTime 000030",
                 "2 Stop",
                 "2 SessionClosed",
                 "1 SessionClosed"}}),
    [](const ::testing::TestParamInfo<Fixture>& param) {
      std::string name = param.param.file;
      name = name.substr(0, name.find('.'));
      return name;
    });

// When an item is ready to be told, each case a player's updates and whether it is ready after
// the last of them.
TEST(PlayerState, ReadyToTell) {
  struct Case {
    const char* what;
    std::vector<const char*> lines;
    bool ready;
  };
  const Case cases[] = {
      {"a track id alone is no item",
       {"props p status=Playing meta trackid=\"/noplaylist\" at=0", "props p at=500"},
       false},
      {"stopped", {"props p status=Stopped meta title=\"A\" at=0", "props p at=500"}, false},
      {"the metadata settled",
       {"props p status=Paused meta title=\"A\" at=0", "props p at=200"},
       true},
      {"the metadata changed 199 ms ago",
       {"props p status=Playing meta title=\"A\" at=0", "props p at=199"},
       false},
      {"the same metadata again does not start the wait again",
       {"props p status=Playing meta title=\"A\" at=0", "props p meta title=\"A\" at=150",
        "props p at=200"},
       true},
      {"an artist that came later starts it again",
       {"props p status=Playing meta title=\"A\" at=0",
        "props p meta title=\"A\" artist=\"B\" at=150", "props p at=200"},
       false},
      {"with no times, at once", {"props p status=Playing meta title=\"A\""}, true},
      {"VLC's local file with no title and a length of -1",
       {"props p status=Playing meta url=\"file:///m/a.mp3\" length=-1 at=0", "props p at=500"},
       false},
      {"a local file once its length is known",
       {"props p status=Playing meta url=\"file:///m/a.mp3\" at=0",
        "props p meta url=\"file:///m/a.mp3\" length=5 at=10", "props p at=210"},
       true},
      {"a stream has no length",
       {"props p status=Playing meta url=\"HTTP://radio/x\" at=0", "props p at=200"},
       true},
      {"FILE:// is a local file too",
       {"props p status=Playing meta url=\"FILE:///m/a.mp3\" at=0", "props p at=200"},
       false},
  };
  for (const Case& c : cases) {
    PlayerState state;
    for (const char* line : c.lines) {
      PlayerUpdate update;
      std::string error;
      ASSERT_TRUE(ParseUpdate(line, update, error)) << line << ": " << error;
      state.Apply(update);
    }
    EXPECT_EQ(state.ReadyToTell(), c.ready) << c.what;
  }
}

// Positions in another unit than microseconds, each case the positions a player gives (raw, the
// time read, a seek or an asked one) and the microseconds the last of them is.
TEST(PositionUnit, TurnsEveryUnitIntoMicroseconds) {
  struct Sample {
    int64_t raw;
    int64_t atMs;
    bool seeked;
  };
  struct Case {
    const char* what;
    int64_t lengthUs;
    std::vector<Sample> samples;
    int64_t lastUs;
  };
  const Case cases[] = {
      {"microseconds stay", 60000000, {{1000000, 0, false}, {2000000, 1000, false}}, 2000000},
      {"milliseconds, once two measures agree",
       60000000,
       {{1000, 0, false}, {2000, 1000, false}, {3010, 2000, false}},
       3010000},
      {"one measure is not enough", 60000000, {{1000, 0, false}, {2000, 1000, false}}, 2000},
      {"seconds", 60000000, {{1, 0, false}, {2, 1000, false}, {3, 2000, false}}, 3000000},
      {"seconds with no length known",
       0,
       {{1, 0, false}, {2, 1000, false}, {3, 2000, false}},
       3000000},
      {"a length of nonsense counts as none",
       INT64_MAX,
       {{1, 0, false}, {2, 1000, false}, {3, 2000, false}},
       3000000},
      {"milliseconds, then a seek in the same unit",
       60000000,
       {{1000, 0, false}, {2000, 1000, false}, {3000, 2000, false}, {30000, 2500, true}},
       30000000},
      {"nanoseconds: beyond the length in microseconds",
       60000000,
       {{5000000000, 0, false}},
       5000000},
      {"a player that stalls is not taken for milliseconds where the length has no room",
       60000000,
       {{40000000, 0, false}, {40001000, 1000, false}, {40002000, 2000, false}},
       40002000},
      {"a seek starts the measure again",
       60000000,
       {{1000, 0, false}, {2000, 1000, false}, {9000, 1500, true}, {10000, 2500, false}},
       10000},
      {"measures under half a second are not taken",
       60000000,
       {{1000, 0, false}, {1300, 300, false}, {1600, 600, false}, {1900, 900, false}},
       1900},
      {"decided microseconds keep even when a later measure looks like milliseconds",
       60000000,
       {{0, 0, false}, {1000000, 1000, false}, {1001000, 2000, false}, {1002000, 3000, false}},
       1002000},
  };
  for (const Case& c : cases) {
    PositionUnit unit;
    int64_t us = -1;
    for (const Sample& s : c.samples)
      us = unit.Microseconds(s.raw, s.atMs, c.lengthUs, s.seeked);
    EXPECT_EQ(us, c.lastUs) << c.what;
  }
}

TEST(MprisAdapter, AgentBackTellsEveryPlayerAgainTheFollowedOneLast) {
  Rig rig;
  const std::vector<PlayerUpdate> updates = ReadFixture("mpv_two_players.updates");
  // Up to the second player's first play time: the second has the panel, the first plays too.
  for (size_t i = 0; i < 15; ++i)
    rig.adapter.Apply(updates[i]);
  ASSERT_EQ(rig.core.frontSession(), 3);
  rig.sink.takes = rig.sink.attempts;
  rig.adapter.Apply(updates[15]);  // a position: the agent does not take it
  ASSERT_TRUE(rig.core.agentLost());
  rig.sink.takes = 1000;
  rig.sink.events.clear();
  rig.core.AgentLost(true);
  rig.core.Resend();
  // The shell again; the players in new sessions (the numbers go on: the agent that came back
  // knows none of the old ones), the background one first, the one with the panel last, each
  // at the time it had; the volume known as the level.
  ExpectEvents(rig.sink.events,
               {"1 SessionOpened", "1 NavHome", "4 SessionOpened", "4 MusicStarted",
                "4 MusicTitle Evening Tone", "4 ExtraText The Sines", "4 Play", "4 PlayTime 000031",
                "4 Level 50", "5 SessionOpened", "5 MusicStarted", "5 MusicTitle Second Tone",
                "5 ExtraText Other Band", "5 Play", "5 PlayTime 000001"});
  EXPECT_EQ(rig.core.frontSession(), 5);
}

TEST(MprisAdapter, BackgroundPlayTimesAndVolumeAreNotSent) {
  Rig rig;
  const std::vector<PlayerUpdate> updates = ReadFixture("mpv_two_players.updates");
  for (size_t i = 0; i < 15; ++i)
    rig.adapter.Apply(updates[i]);
  rig.sink.events.clear();
  std::string error;
  PlayerUpdate update;
  // The first player, in the background, still plays and changes its volume.
  ASSERT_TRUE(ParseUpdate("position mpv 40000000", update, error)) << error;
  rig.adapter.Apply(update);
  ASSERT_TRUE(ParseUpdate("props mpv volume=0.5", update, error)) << error;
  rig.adapter.Apply(update);
  EXPECT_TRUE(rig.sink.events.empty()) << rig.sink.events.front();
  // The volume of the one with the panel is the level: 50 %, half the bar: 8 segments, step 7,
  // whose lowest level 12 is the Level 24.
  ASSERT_TRUE(ParseUpdate("props mpv.instance2 volume=0.5", update, error)) << error;
  rig.adapter.Apply(update);
  EXPECT_EQ(rig.sink.events, std::vector<std::string>{"3 Level 24"});
}

TEST(MprisAdapter, AStoppedPlayerKeepsItsSessionWhenTheFollowedOneQuits) {
  Rig rig;
  std::string error;
  for (const char* line : {
           "props a status=Playing meta title=\"A\" artist=\"X\" url=\"http://radio/a\"",
           "props a status=Stopped",
           "props b status=Playing meta title=\"B\" url=\"http://radio/b\"",
           "vanished b",
       }) {
    PlayerUpdate update;
    ASSERT_TRUE(ParseUpdate(line, update, error)) << line << ": " << error;
    rig.adapter.Apply(update);
  }
  // b's end leaves a stopped a: nothing told again, the shell stays open for it.
  ASSERT_GE(rig.sink.events.size(), 2u);
  EXPECT_EQ(rig.sink.events.back(), "3 SessionClosed");
  EXPECT_EQ(rig.core.frontSession(), 2);
  EXPECT_TRUE(rig.source.applicationRunning());
}

TEST(MprisAdapter, ATitleOfAnyLengthAndAnyBytesGoesOutAsTheAgentTakesIt) {
  Rig rig;
  // 10 000 characters with no blank, after a byte that is not UTF-8; an artist with a character
  // Windows-1252 cannot hold.
  PlayerUpdate update;
  update.kind = PlayerUpdate::Kind::Properties;
  update.player = "odd";
  update.hasStatus = true;
  update.status = "Playing";
  update.hasMetadata = true;
  update.metadata.title = "\xff" + std::string(9999, 'a');
  update.metadata.artist = "\xe2\x98\x83 Snow";  // U+2603, a snowman
  update.metadata.url = "https://example.org/live";
  rig.adapter.Apply(update);
  // The text field holds 32 characters: cut after the 32nd since no word ends near it; the bytes
  // it cannot hold become "?".
  const std::vector<std::string> want = {"1 SessionOpened",
                                         "1 NavHome",
                                         "2 SessionOpened",
                                         "2 MusicStarted",
                                         "2 MusicTitle ?" + std::string(31, 'a'),
                                         "2 ExtraText ? Snow",
                                         "2 Play"};
  EXPECT_EQ(rig.sink.events, want);
}

TEST(MprisTrack, KindByUrl) {
  struct Case {
    const char* url;
    const char* artist;
    ItemKind kind;
  };
  const Case cases[] = {
      {"file:///music/a.FLAC", "", ItemKind::Song},
      {"file:///music/a.mp3", "", ItemKind::Song},
      {"file:///films/b.mkv", "Someone", ItemKind::Video},
      {"https://example.org/c.mp4?token=1#t=3", "", ItemKind::Video},
      {"cdda://1", "", ItemKind::AudioCd},
      {"dvd://", "", ItemKind::DiscImage},
      {"file:///discs/film.iso", "", ItemKind::DiscImage},
      {"https://example.org/watch?v=x", "", ItemKind::Video},
      {"https://radio.example.org/stream", "A Band", ItemKind::Song},
      {"file:///folder.mp3/track", "", ItemKind::Video},  // the dot is the folder's
      {"", "", ItemKind::Video},
  };
  for (const Case& c : cases) {
    TrackMetadata metadata;
    metadata.url = c.url;
    metadata.artist = c.artist;
    EXPECT_EQ(KindOfTrack(metadata), c.kind) << c.url;
  }
}

TEST(MprisTrack, TitleFallsBackToTheFileName) {
  struct Case {
    const char* title;
    const char* url;
    const char* shown;
  };
  const Case cases[] = {
      {"Given", "file:///a/b.mp3", "Given"},
      {"", "file:///music/My%20Song%C3%A9.flac", "My Song\xC3\xA9.flac"},
      {"", "file:///music/100%25.mp3?x=1", "100%.mp3"},
      {"", "file:///music/bad%2.mp3", "bad%2.mp3"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    TrackMetadata metadata;
    metadata.title = c.title;
    metadata.url = c.url;
    EXPECT_EQ(TitleOfTrack(metadata), c.shown) << c.url;
  }
}

TEST(PlayerUpdateLine, ReadsBackWhatItWrites) {
  PlayerUpdate update;
  update.kind = PlayerUpdate::Kind::Properties;
  update.player = "mpv.instance7";
  update.hasStatus = true;
  update.status = "Paused";
  update.hasVolume = true;
  update.volume = 0.25;
  update.hasMetadata = true;
  update.metadata.title = "Say \"hi\" \\ caf\xC3\xA9";
  update.metadata.trackNumber = 4;
  update.metadata.lengthUs = 60029388;
  PlayerUpdate back;
  std::string error;
  ASSERT_TRUE(ParseUpdate(FormatUpdate(update), back, error)) << error;
  EXPECT_EQ(back.metadata, update.metadata);
  EXPECT_EQ(back.status, "Paused");
  EXPECT_EQ(back.volume, 0.25);
  EXPECT_FALSE(back.hasRate);
}

TEST(PlayerUpdateLine, ReadsTheTimeOnEveryKindOfLine) {
  const char* lines[] = {"appeared p at=7", "vanished p at=7", "position p 5 at=7",
                         "seeked p 5 at=7", "props p at=7",    "props p status=Playing at=7"};
  for (const char* line : lines) {
    PlayerUpdate update;
    std::string error;
    ASSERT_TRUE(ParseUpdate(line, update, error)) << line << ": " << error;
    EXPECT_EQ(update.atMs, 7) << line;
    EXPECT_EQ(FormatUpdate(update), line);
  }
}

TEST(PlayerUpdateLine, RefusesWhatIsNotAnUpdate) {
  const char* lines[] = {
      "props mpv at=-1",
      "position mpv 5 at=soon",
      "position mpv at=5",
      "appeared",
      "jumped mpv",
      "appeared mpv extra",
      "position mpv",
      "position mpv 12x",
      "props mpv rate=fast",
      "props mpv title=\"no end",
      "props mpv colour=red",
      "props mpv status",
      "props mpv meta title=\"bad \\q escape\"",
      // An item's field outside the metadata would be read and then lost (found by fuzzing).
      "props mpv title=\"Tune\"",
      "props mpv status=Playing length=5 meta",
  };
  for (const char* line : lines) {
    PlayerUpdate update;
    std::string error;
    EXPECT_FALSE(ParseUpdate(line, update, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

}  // namespace
}  // namespace lumora::sources
