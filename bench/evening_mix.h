// A long realistic event mix: an evening of Media Center use as the event source reports it.
// The shell session (1) opens first and stays for the whole evening; a picture library session
// (90) keeps a slide show paused in the background. Each cycle then watches live TV with
// channel changes and menu visits, plays a DVD with its play time, scans, a suspend and resume
// and an eject, listens to music under a quiet period, looks at pictures, tunes the radio and
// takes a phone call, with the clock ticking between — and closes every session it opened.
#pragma once

#include <vector>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "bench/agent_rig.h"

namespace lumora::bench {

inline constexpr int32_t kShellSession = 1;
inline constexpr int32_t kBackgroundPictures = 90;

// What happens once before the evening's cycles.
inline std::vector<Message> EveningPrologue() {
  using M = Message;
  return {
      M::Timer(),
      M::Timer(),
      M::Event(kShellSession, EventCode::SessionOpened),
      M::Event(kShellSession, EventCode::NavHome),
      M::Event(kBackgroundPictures, EventCode::SessionOpened),
      M::Event(kBackgroundPictures, EventCode::PicturesStarted),
      M::Event(kBackgroundPictures, EventCode::PictureName, "Holiday 2006"),
      M::Event(kBackgroundPictures, EventCode::Play),
      M::Event(kBackgroundPictures, EventCode::Pause),
      M::Event(kShellSession, EventCode::NavHome),
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
  m.push_back(M::Event(kShellSession, EventCode::NavLiveTv));
  m.push_back(M::Event(10, EventCode::SessionOpened));
  m.push_back(M::Event(10, EventCode::LiveTvStarted));
  m.push_back(M::Event(10, EventCode::ItemNumber, "7"));
  m.push_back(M::Event(10, EventCode::Play));
  ticks(5);
  m.push_back(M::Event(10, EventCode::Level, "120"));
  m.push_back(M::Event(10, EventCode::ItemNumber, "12"));
  m.push_back(M::Event(10, EventCode::Play));
  ticks(3);
  m.push_back(M::Event(10, EventCode::Pause));
  m.push_back(M::Event(10, EventCode::Play));
  m.push_back(M::Event(kShellSession, EventCode::NavGuide));
  ticks(2);
  m.push_back(M::Event(kShellSession, EventCode::NavLiveTv));  // back to the channel after the wait
  m.push_back(M::Event(10, EventCode::MoreProgram));
  m.push_back(M::Event(10, EventCode::Stop));
  m.push_back(M::Event(10, EventCode::SessionClosed));
  // A DVD.
  m.push_back(M::Event(kShellSession, EventCode::NavDvd));
  m.push_back(M::Event(20, EventCode::SessionOpened));
  m.push_back(M::Event(20, EventCode::DiscStarted));
  m.push_back(M::Event(20, EventCode::MediaName, "HOLIDAY_MOVIE"));
  m.push_back(M::Event(20, EventCode::TitleNumber, "1"));
  m.push_back(M::Event(20, EventCode::ItemNumber, "3"));
  m.push_back(M::Event(20, EventCode::Play));
  for (const char* time : {"000001", "000002", "000003", "000004", "000005", "000006"}) {
    m.push_back(M::Event(20, EventCode::PlayTime, time));
    ticks(1);
  }
  m.push_back(M::Event(20, EventCode::ScanA));
  m.push_back(M::Event(20, EventCode::ScanEndA));
  m.push_back(M::Event(20, EventCode::ScanB));
  m.push_back(M::Event(20, EventCode::ScanEndB));
  m.push_back(M::Event(20, EventCode::Pause));
  m.push_back(M::Event(20, EventCode::Play));
  m.push_back(M::Event(20, EventCode::Stop));
  m.push_back(M::Event(20, EventCode::Play));
  m.push_back(M::Power(kPbtApmSuspend));
  ticks(2);
  m.push_back(M::Power(kPbtApmResumeAutomatic));
  m.push_back(M::Power(kPbtApmResumeSuspend));
  m.push_back(M::Event(20, EventCode::PlayTime, "000107"));
  m.push_back(M::Event(20, EventCode::Stop));
  m.push_back(M::Event(20, EventCode::Eject));
  ticks(3);
  m.push_back(M::Event(20, EventCode::SessionClosed));
  // Music, with a quiet period in the middle.
  m.push_back(M::Event(kShellSession, EventCode::NavMusic));
  m.push_back(M::Event(30, EventCode::SessionOpened));
  m.push_back(M::Event(30, EventCode::MusicStarted));
  m.push_back(M::Event(30, EventCode::MusicTitle, "A Rather Long Song Title"));
  m.push_back(M::Event(30, EventCode::ExtraText, "The Band"));
  m.push_back(M::Event(30, EventCode::Play));
  m.push_back(M::Event(30, EventCode::SessionIndicatorOn));
  m.push_back(M::Event(30, EventCode::PlayTime, "000312"));
  m.push_back(M::Event(30, EventCode::AuxIndicatorOn));
  m.push_back(M::Power(kPowerEnterQuiet));
  ticks(2);
  m.push_back(M::Event(30, EventCode::AuxIndicatorOn));  // filtered out while quiet
  m.push_back(M::Power(kPowerLeaveQuiet));
  m.push_back(M::Event(30, EventCode::AuxIndicatorOff));
  m.push_back(M::Event(30, EventCode::SessionIndicatorOff));
  m.push_back(M::Event(30, EventCode::Stop));
  m.push_back(M::Event(30, EventCode::SessionClosed));
  // Pictures: the menu first, then a second slide show of its own.
  m.push_back(M::Event(kShellSession, EventCode::NavPictures));
  m.push_back(M::Event(40, EventCode::SessionOpened));
  m.push_back(M::Event(40, EventCode::PicturesStarted));
  m.push_back(M::Event(40, EventCode::PictureName, "Beach at Sunset"));
  m.push_back(M::Event(40, EventCode::Play));
  ticks(2);
  m.push_back(M::Event(40, EventCode::Pause));
  m.push_back(M::Event(40, EventCode::Stop));
  m.push_back(M::Event(40, EventCode::Play));
  m.push_back(M::Event(40, EventCode::SessionClosed));
  // Radio, a phone call over it, and a marked session.
  m.push_back(M::Event(kShellSession, EventCode::NavRadio));
  m.push_back(M::Event(50, EventCode::SessionOpened));
  m.push_back(M::Event(50, EventCode::RadioStarted));
  m.push_back(M::Event(50, EventCode::RadioFrequency, "101100000"));
  m.push_back(M::Event(50, EventCode::Play));
  m.push_back(M::Event(60, EventCode::PhoneCallStarted));
  m.push_back(M::Event(60, EventCode::CallerText, "Grandma Evening Call"));
  m.push_back(M::Event(50, EventCode::SessionMarked));
  ticks(2);
  m.push_back(M::Event(50, EventCode::SessionClosed));
  m.push_back(M::Event(kShellSession, EventCode::NavOnlineMedia));
  ticks(2);
  return m;
}

}  // namespace lumora::bench
