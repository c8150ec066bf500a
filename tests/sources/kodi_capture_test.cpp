// The Kodi bridge and the translation core fed what a real Kodi sent (tests/sources/fixtures:
// captures written by `lumora kodi --capture` while the live test and a second run drove Kodi
// 20 under Xvfb). The expected events are read off each capture by the rules of docs/sources.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"
#include "tests/sources/recording_sink.h"

namespace lumora::sources {
namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(LUMORA_SOURCE_DIR) + "/tests/sources/fixtures/" + name,
                   std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Replayed {
  std::vector<std::string> events;
  std::vector<std::string> requests;
  std::vector<std::string> problems;
};

Replayed Replay(const std::string& fixture) {
  RecordingSink sink;
  TestClock clock;
  MediaSource core(sink, clock.Function());
  SourceApp source(core, "Kodi");
  Replayed out;
  KodiBridge bridge(
      source, [&](const std::string& request) { out.requests.push_back(request); },
      [&](const std::string& problem) { out.problems.push_back(problem); });
  const std::string capture = ReadFixture(fixture);
  EXPECT_FALSE(capture.empty()) << fixture;
  std::string error;
  EXPECT_TRUE(ReplayCapture(capture, bridge, error)) << error;
  out.events = sink.events;
  return out;
}

// Play, pause, play, a seek of 20 s, the volume to 10 %, stop, the music window and home; a
// second play and Kodi killed under it; Kodi started again, then the bridge stopped.
TEST(KodiCapture, PlayPauseSeekVolumeStopMenusAndAKill) {
  const std::string title = "Caf\xE9 Song ? Live";
  const std::vector<std::string> expected = {
      // volume 100 %: the whole bar, the Level of its top step
      "1 SessionOpened", "1 NavHome", "1 Level 50",
      // the song: its own session, start, track, title, artist, Play
      "2 SessionOpened", "2 MusicStarted", "2 ItemNumber 4", "2 MusicTitle " + title,
      "2 ExtraText The Testers", "2 Play",
      // the polls' times, one a second
      "2 PlayTime 000000", "2 PlayTime 000001", "2 PlayTime 000002", "2 PlayTime 000003",
      // the pause: Kodi's OnPause and OnSpeedChanged 0 are one Pause; the next poll's time
      // (4.196 s) is where it paused
      "2 Pause", "2 PlayTime 000004",
      // OnResume, then OnSeek's time at once; the next poll's 23.995 s is a little behind it,
      // Kodi's jitter, and not a step back
      "2 Play", "2 PlayTime 000024",
      // volume 10 %: 2 of the bar's 16 segments (step 1, level 1), in the session that plays
      "2 Level 2", "2 PlayTime 000025",
      // OnStop: no player active any more; the panel back on Kodi's menu, home
      "2 Stop", "2 SessionClosed", "1 NavHome",
      // the windows 10502 (music) and 10000 (home)
      "1 NavMusic", "1 NavHome",
      // the second play: a new session
      "3 SessionOpened", "3 MusicStarted", "3 ItemNumber 4", "3 MusicTitle " + title,
      "3 ExtraText The Testers", "3 Play", "3 PlayTime 000000", "3 PlayTime 000001",
      "3 PlayTime 000002",
      // Kodi killed: what was opened is closed, the shell last: no other application is there
      "3 Stop", "3 SessionClosed", "1 SessionClosed",
      // Kodi again, then the bridge's end
      "1 SessionOpened", "1 NavHome", "1 Level 50", "1 SessionClosed"};
  const Replayed replayed = Replay("kodi_evening.cap");
  ExpectEvents(replayed.events, expected);
  EXPECT_TRUE(replayed.problems.empty());
}

// Fast forward, play, rewind, play; mute and unmute; the song runs out.
TEST(KodiCapture, ScansMuteAndTheEndOfTheSong) {
  const std::vector<std::string> expected = {
      "1 SessionOpened", "1 NavHome", "1 Level 50", "2 SessionOpened", "2 MusicStarted",
      "2 ItemNumber 2", "2 MusicTitle Short Tune", "2 ExtraText Ensemble", "2 Play",
      // Kodi's first time is 0 s less 55 ms: 0; the second poll (0.949 s) gives no new second
      "2 PlayTime 000000", "2 PlayTime 000001",
      // speed 2: fast forward, and the time still goes to the agent
      "2 ScanA", "2 PlayTime 000004",
      // speed 1
      "2 Play", "2 PlayTime 000007",
      // speed -2: rewind, the time runs back
      "2 ScanB", "2 PlayTime 000005", "2 PlayTime 000000",
      // speed 1 again
      "2 Play", "2 PlayTime 000001",
      // mute: the bar's lowest step; unmute at 100 %: the whole bar
      "2 Level 0", "2 PlayTime 000002", "2 Level 50", "2 PlayTime 000003", "2 PlayTime 000004",
      "2 PlayTime 000005", "2 PlayTime 000006", "2 PlayTime 000007", "2 PlayTime 000008",
      "2 PlayTime 000009", "2 PlayTime 000010",
      // OnStop with end true: the song ran out; the panel back on Kodi's menu
      "2 Stop", "2 SessionClosed", "1 NavHome",
      // the bridge stopped
      "1 SessionClosed"};
  const Replayed replayed = Replay("kodi_scan_mute_end.cap");
  ExpectEvents(replayed.events, expected);
  EXPECT_TRUE(replayed.problems.empty());
}

// What the bridge asks Kodi: on connecting, the window, the volume and the players; on a poll,
// each active player's time and speed and the window again.
TEST(KodiCapture, RequestsOnConnectAndPoll) {
  const Replayed replayed = Replay("kodi_scan_mute_end.cap");
  ASSERT_GE(replayed.requests.size(), 3u);
  EXPECT_NE(replayed.requests[0].find("\"method\":\"GUI.GetProperties\""), std::string::npos);
  EXPECT_NE(replayed.requests[1].find("\"method\":\"Application.GetProperties\""),
            std::string::npos);
  EXPECT_NE(replayed.requests[2].find("\"method\":\"Player.GetActivePlayers\""), std::string::npos);
  size_t propertyPolls = 0;
  for (const std::string& request : replayed.requests)
    if (request.find("\"Player.GetProperties\"") != std::string::npos) ++propertyPolls;
  // 17 polls while the song played (the capture's answers with a time).
  EXPECT_EQ(propertyPolls, 17u);
}

}  // namespace
}  // namespace lumora::sources

namespace lumora::sources {
namespace {

// The agent goes away at the song's first play time: nothing more is sent while it is away, and
// an agent that comes back (a new one, after a restart) while the song is paused is told
// everything again from what the core kept, without asking Kodi: the shell, the menu, the
// level, the song from its start, paused, at its time, in a session under a new number.
TEST(KodiCapture, AnAgentBackGetsEverythingAgain) {
  RecordingSink sink;
  sink.takes = 9;  // up to the song's Play
  TestClock clock;
  MediaSource core(sink, clock.Function());
  SourceApp source(core, "Kodi");
  KodiBridge bridge(
      source, [](const std::string&) {}, [](const std::string&) {});
  const std::string capture = ReadFixture("kodi_evening.cap");
  // Up to the pause and the poll after it (the capture's line 26).
  size_t cut = 0;
  for (int line = 0; line < 26; ++line)
    cut = capture.find('\n', cut) + 1;
  std::string error;
  ASSERT_TRUE(ReplayCapture(capture.substr(0, cut), bridge, error)) << error;
  EXPECT_TRUE(core.agentLost());
  EXPECT_EQ(sink.attempts, 10u);  // the failed one, then silence
  ASSERT_EQ(sink.events.size(), 9u);
  EXPECT_EQ(sink.events.back(), "2 Play");

  sink.takes = 1000;
  core.AgentLost(true);
  core.Resend();
  EXPECT_FALSE(core.agentLost());
  ExpectEvents(sink.From(9),
               {"1 SessionOpened", "1 NavHome", "3 SessionOpened", "3 MusicStarted",
                "3 ItemNumber 4", "3 MusicTitle Caf\xE9 Song ? Live", "3 ExtraText The Testers",
                "3 Play", "3 Pause", "3 PlayTime 000004", "3 Level 50"});
}

}  // namespace
}  // namespace lumora::sources
