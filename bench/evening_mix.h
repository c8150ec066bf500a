// A long realistic event mix: an evening of Media Center use as the event source reports it.
// The shell session (1) opens first and stays for the whole evening; a picture library session
// (90) keeps a slide show paused in the background. Each cycle then watches live TV with
// channel changes and menu visits, plays a DVD with its play time, scans, a suspend and resume
// and an eject, listens to music under a quiet period, looks at pictures, tunes the radio and
// takes a phone call, with the clock ticking between — and closes every session it opened.
#pragma once

#include <vector>

#include "app/agent_dlg.h"
#include "bench/agent_rig.h"
#include "engine/event_table.h"

namespace lumora::bench {

inline constexpr int32_t kShellSession = 1;
inline constexpr int32_t kBackgroundPictures = 90;

// What happens once before the evening's cycles.
inline std::vector<Message> EveningPrologue() {
  using M = Message;
  return {
      M::Timer(),
      M::Timer(),
      M::Event(kShellSession, SessionOpened),
      M::Event(kShellSession, NavHomeEvent),
      M::Event(kBackgroundPictures, SessionOpened),
      M::Event(kBackgroundPictures, PicturesStarted),
      M::Event(kBackgroundPictures, PictureName, "Holiday 2006"),
      M::Event(kBackgroundPictures, Play),
      M::Event(kBackgroundPictures, Pause),
      M::Event(kShellSession, NavHomeEvent),
  };
}

// One cycle of the evening; it ends in the state in which it began.
inline std::vector<Message> EveningCycle() {
  using M = Message;
  std::vector<Message> m;
  auto ticks = [&m](int n) {
    for (int i = 0; i < n; ++i)
      m.push_back(M::Timer());
  };
  // Live TV.
  m.push_back(M::Event(kShellSession, NavLiveTvEvent));
  m.push_back(M::Event(10, SessionOpened));
  m.push_back(M::Event(10, LiveTvStarted));
  m.push_back(M::Event(10, ItemNumber, "7"));
  m.push_back(M::Event(10, Play));
  ticks(5);
  m.push_back(M::Event(10, Level, "120"));
  m.push_back(M::Event(10, ItemNumber, "12"));
  m.push_back(M::Event(10, Play));
  ticks(3);
  m.push_back(M::Event(10, Pause));
  m.push_back(M::Event(10, Play));
  m.push_back(M::Event(kShellSession, NavGuideEvent));
  ticks(2);
  m.push_back(M::Event(kShellSession, NavLiveTvEvent));  // back to the channel after the wait
  m.push_back(M::Event(10, MoreProgram));
  m.push_back(M::Event(10, Stop));
  m.push_back(M::Event(10, SessionClosed));
  // A DVD.
  m.push_back(M::Event(kShellSession, NavDvdEvent));
  m.push_back(M::Event(20, SessionOpened));
  m.push_back(M::Event(20, DiscStarted));
  m.push_back(M::Event(20, MediaName, "HOLIDAY_MOVIE"));
  m.push_back(M::Event(20, TitleNumber, "1"));
  m.push_back(M::Event(20, ItemNumber, "3"));
  m.push_back(M::Event(20, Play));
  for (const char* time : {"000001", "000002", "000003", "000004", "000005", "000006"}) {
    m.push_back(M::Event(20, PlayTime, time));
    ticks(1);
  }
  m.push_back(M::Event(20, ScanA));
  m.push_back(M::Event(20, ScanEndA));
  m.push_back(M::Event(20, ScanB));
  m.push_back(M::Event(20, ScanEndB));
  m.push_back(M::Event(20, Pause));
  m.push_back(M::Event(20, Play));
  m.push_back(M::Event(20, Stop));
  m.push_back(M::Event(20, Play));
  m.push_back(M::Power(kPbtApmSuspend));
  ticks(2);
  m.push_back(M::Power(kPbtApmResumeAutomatic));
  m.push_back(M::Power(kPbtApmResumeSuspend));
  m.push_back(M::Event(20, PlayTime, "000107"));
  m.push_back(M::Event(20, Stop));
  m.push_back(M::Event(20, Eject));
  ticks(3);
  m.push_back(M::Event(20, SessionClosed));
  // Music, with a quiet period in the middle.
  m.push_back(M::Event(kShellSession, NavMusicEvent));
  m.push_back(M::Event(30, SessionOpened));
  m.push_back(M::Event(30, MusicStarted));
  m.push_back(M::Event(30, MusicTitle, "A Rather Long Song Title"));
  m.push_back(M::Event(30, ExtraText, "The Band"));
  m.push_back(M::Event(30, Play));
  m.push_back(M::Event(30, SessionIndicatorOn));
  m.push_back(M::Event(30, PlayTime, "000312"));
  m.push_back(M::Event(30, AuxIndicatorOn));
  m.push_back(M::Power(kPowerEnterQuiet));
  ticks(2);
  m.push_back(M::Event(30, AuxIndicatorOn));  // filtered out while quiet
  m.push_back(M::Power(kPowerLeaveQuiet));
  m.push_back(M::Event(30, AuxIndicatorOff));
  m.push_back(M::Event(30, SessionIndicatorOff));
  m.push_back(M::Event(30, Stop));
  m.push_back(M::Event(30, SessionClosed));
  // Pictures: the menu first, then a second slide show of its own.
  m.push_back(M::Event(kShellSession, NavPicturesEvent));
  m.push_back(M::Event(40, SessionOpened));
  m.push_back(M::Event(40, PicturesStarted));
  m.push_back(M::Event(40, PictureName, "Beach at Sunset"));
  m.push_back(M::Event(40, Play));
  ticks(2);
  m.push_back(M::Event(40, Pause));
  m.push_back(M::Event(40, Stop));
  m.push_back(M::Event(40, Play));
  m.push_back(M::Event(40, SessionClosed));
  // Radio, a phone call over it, and a marked session.
  m.push_back(M::Event(kShellSession, NavRadioEvent));
  m.push_back(M::Event(50, SessionOpened));
  m.push_back(M::Event(50, RadioStarted));
  m.push_back(M::Event(50, RadioFrequency, "101100000"));
  m.push_back(M::Event(50, Play));
  m.push_back(M::Event(60, PhoneCallStarted));
  m.push_back(M::Event(60, CallerText, "Grandma Evening Call"));
  m.push_back(M::Event(50, SessionMarked));
  ticks(2);
  m.push_back(M::Event(50, SessionClosed));
  m.push_back(M::Event(kShellSession, NavOnlineMediaEvent));
  ticks(2);
  return m;
}

}  // namespace lumora::bench
