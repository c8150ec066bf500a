// The measured situations: for each, the real events that bring the agent into a state and the
// unit of messages that is then delivered again and again. A unit holds one message where the
// state repeats after it, and the pair that belongs together where it would not (a play that
// redraws after a stop needs the stop; a resume needs the suspend). Shared by the benchmarks
// and by the instruction counts under callgrind, so both measure the same thing.
#pragma once

#include <string_view>
#include <vector>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "bench/agent_rig.h"
#include "bench/evening_mix.h"

namespace lumora::bench {

struct EventCase {
  const char* name;
  std::vector<Message> (*setUp)();
  std::vector<Message> (*unit)();
};

namespace cases {

using M = Message;

// Shell up, live TV on channel 7 playing in session 10.
inline std::vector<Message> LiveTvPlaying() {
  return {M::Event(1, EventCode::SessionOpened),    M::Event(1, EventCode::NavHome),
          M::Event(10, EventCode::SessionOpened),   M::Event(10, EventCode::LiveTvStarted),
          M::Event(10, EventCode::ItemNumber, "7"), M::Event(10, EventCode::Play)};
}

// Shell up, a DVD (title 2, chapter 5) playing in session 20, past its first five play times.
inline std::vector<Message> DvdPlaying() {
  std::vector<Message> m{M::Event(1, EventCode::SessionOpened),
                         M::Event(1, EventCode::NavHome),
                         M::Event(1, EventCode::NavDvd),
                         M::Event(20, EventCode::SessionOpened),
                         M::Event(20, EventCode::DiscStarted),
                         M::Event(20, EventCode::MediaName, "HOLIDAY_MOVIE"),
                         M::Event(20, EventCode::TitleNumber, "2"),
                         M::Event(20, EventCode::ItemNumber, "5"),
                         M::Event(20, EventCode::Play)};
  for (int i = 0; i < 6; ++i)
    m.push_back(M::Event(20, EventCode::PlayTime, "012345"));
  return m;
}

// Everything the panel rebuild after a resume lights again: live TV playing with a level, the
// auxiliary and session indicators and a marked session.
inline std::vector<Message> RichLiveTv() {
  std::vector<Message> m = LiveTvPlaying();
  m.push_back(M::Event(10, EventCode::Level, "150"));
  m.push_back(M::Event(10, EventCode::AuxIndicatorOn));
  m.push_back(M::Event(10, EventCode::SessionIndicatorOn));
  m.push_back(M::Event(30, EventCode::SessionMarked));
  return m;
}

inline std::vector<Message> MusicPlaying() {
  return {M::Event(1, EventCode::SessionOpened), M::Event(1, EventCode::NavMusic),
          M::Event(30, EventCode::SessionOpened), M::Event(30, EventCode::MusicStarted),
          M::Event(30, EventCode::Play)};
}

inline std::vector<Message> PicturesPlaying() {
  return {M::Event(1, EventCode::SessionOpened), M::Event(1, EventCode::NavPictures),
          M::Event(40, EventCode::SessionOpened), M::Event(40, EventCode::PicturesStarted),
          M::Event(40, EventCode::Play)};
}

inline std::vector<Message> Nothing() {
  return {};
}

}  // namespace cases

// Names in the benchmark output; a unit of two messages ends in _pair.
inline const std::vector<EventCase>& EventCases() {
  using namespace cases;
  static const std::vector<EventCase> kCases{
      {"ItemNumber_LiveTv", LiveTvPlaying,
       [] { return std::vector{M::Event(10, EventCode::ItemNumber, "7")}; }},
      {"Play_LiveTv", LiveTvPlaying, [] { return std::vector{M::Event(10, EventCode::Play)}; }},
      {"Pause_LiveTv", LiveTvPlaying, [] { return std::vector{M::Event(10, EventCode::Pause)}; }},
      {"Level_LiveTv", LiveTvPlaying,
       [] { return std::vector{M::Event(10, EventCode::Level, "120")}; }},
      {"PlayTime_Dvd", DvdPlaying,
       [] { return std::vector{M::Event(20, EventCode::PlayTime, "012346")}; }},
      {"Stop_Dvd", DvdPlaying, [] { return std::vector{M::Event(20, EventCode::Stop)}; }},
      // Play after a stop redraws the whole now-playing display.
      {"StopPlay_Dvd_pair", DvdPlaying,
       [] {
         return std::vector{M::Event(20, EventCode::Stop), M::Event(20, EventCode::Play)};
       }},
      {"MusicTitle_Music", MusicPlaying,
       [] { return std::vector{M::Event(30, EventCode::MusicTitle, "A Rather Long Song Title")}; }},
      {"PictureName_Pictures", PicturesPlaying,
       [] { return std::vector{M::Event(40, EventCode::PictureName, "Beach at Sunset")}; }},
      // A menu that does not end on the playing mode: the time and the menu name, no wait.
      {"NavGuide_NoWait", LiveTvPlaying,
       [] { return std::vector{M::Event(1, EventCode::NavGuide)}; }},
      // The live TV menu while live TV plays: the menu name, the 1000 ms wait (counted, not
      // slept), then the now-playing display again.
      {"NavLiveTv_Wait", LiveTvPlaying,
       [] { return std::vector{M::Event(1, EventCode::NavLiveTv)}; }},
      {"Suspend", RichLiveTv, [] { return std::vector{M::Power(kPbtApmSuspend)}; }},
      // The resume rebuild (power 7) with the suspend (power 4) before it, as one unit.
      {"SuspendResume_pair", RichLiveTv,
       [] {
         return std::vector{M::Power(kPbtApmSuspend), M::Power(kPbtApmResumeSuspend)};
       }},
      // No shell: the date on line 2 and the time on line 3, with a locale query.
      {"ClockTick_Date", Nothing, [] { return std::vector{M::Timer()}; }},
      // Live TV: the time on line 3 only.
      {"ClockTick_Time", LiveTvPlaying, [] { return std::vector{M::Timer()}; }},
      // A whole evening cycle (bench/evening_mix.h): the average message.
      {"EveningMix", EveningPrologue, EveningCycle},
  };
  return kCases;
}

inline const EventCase* FindEventCase(std::string_view name) {
  for (const EventCase& c : EventCases()) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

}  // namespace lumora::bench
