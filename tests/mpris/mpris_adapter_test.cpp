// The adapter of lumora mpris, without a bus: player updates captured from the real mpv with
// mpv-mpris (fixtures/, written by `lumora mpris -v` in mpris_live_test.sh) replayed into the
// adapter and the translation core, and the events that come out checked against what the
// mapping says, written by hand.
#include <gtest/gtest.h>

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

TEST(PlayerUpdateLine, RefusesWhatIsNotAnUpdate) {
  const char* lines[] = {
      "",
      "appeared",
      "jumped mpv",
      "appeared mpv extra",
      "position mpv",
      "position mpv 12x",
      "props mpv rate=fast",
      "props mpv title=\"no end",
      "props mpv colour=red",
      "props mpv status",
      "props mpv title=\"bad \\q escape\"",
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
