// The engine's tables: the Media Center menus with their names and the media modes that end
// their screen, and what each media mode means for the panel (its icon and icon memory, how
// leaving it cleans up, which menu it belongs to, what the clock does while it plays).
#pragma once

#include <array>
#include <cstdint>

#include "engine/agent_state.h"
#include "panel/panel_tables.h"

namespace lumora {

struct MenuInfo {
  int32_t navCode;
  const char* name;  // line 2 text while the menu screen is shown
  uint8_t scroll;
  // Media modes on which the menu screen ends after the 1000 ms wait; ModeNone fills the rest.
  // The pictures menu has a rule of its own.
  std::array<uint8_t, 2> endsOn;
};

inline constexpr std::array<MenuInfo, 10> kMenus{{
    {NavHome, "MCE Home", 0, {ModeNone, ModeNone}},
    {NavLiveTv, "TV + Movies", 0, {ModeLiveTv, ModeNone}},
    {NavDvd, "TV + Movies", 0, {ModeDvd, ModeVcd}},
    {NavGuide, "Guide", 0, {ModeNone, ModeNone}},
    {NavMusic, "Music", 0, {ModeMusic, ModeCd}},
    {NavPictures, "Pictures + Videos", 7, {ModePictures, ModeNone}},
    {NavVideos, "Pictures + Videos", 7, {ModeVideo, ModeNone}},
    {NavRecordedTv, "TV + Movies", 0, {ModeRecordedTv, ModeNone}},
    {NavRadio, "Music   ", 0, {ModeRadio, ModeNone}},
    {NavOnlineMedia, "Online Media", 0, {ModeNone, ModeNone}},
}};

// The menu of a navigation code; null for any other code.
constexpr const MenuInfo* FindMenu(int32_t navCode) {
  for (const MenuInfo& menu : kMenus) {
    if (menu.navCode == navCode) return &menu;
  }
  return nullptr;
}

constexpr bool EndsMenuScreen(const MenuInfo& menu, uint8_t mode) {
  return mode != ModeNone && (menu.endsOn[0] == mode || menu.endsOn[1] == mode);
}

struct ModeTraits {
  uint8_t mode = ModeNone;
  bool hasIcon = false;
  Icon icon = Icon::Play;
  int32_t AgentState::*iconFlag = nullptr;  // icon memory of the mode; null when it has none
  bool clearsDvdFirst = false;              // lighting VcdIcon puts DvdIcon out first
  // Leaving the mode: whether it cleans up at all, whether it blanks the lines even under a
  // menu, whether it puts the session indicator out, whether it restarts the time-event count.
  bool leaves = false;
  bool clearsLinesUnderMenu = false;
  bool dropsSessionIndicator = false;
  bool resetsTimeEvents = false;
  int32_t menu = NavNone;     // the menu the mode belongs to (its name after the session ends)
  bool nowPlaying = false;    // the now-playing display shows the mode (not a phone call)
  uint8_t playClockMode = 0;  // clockMode while it plays: 1 line 3 free for the clock, 0 play time
};

inline constexpr std::array<ModeTraits, 10> kModeTraits{{
    {.mode = ModeLiveTv,
     .hasIcon = true,
     .icon = Icon::Tv,
     .iconFlag = &AgentState::tvIconOn,
     .leaves = true,
     .menu = NavLiveTv,
     .nowPlaying = true,
     .playClockMode = 1},
    {.mode = ModeRecordedTv,
     .hasIcon = true,
     .icon = Icon::Tv,
     .iconFlag = &AgentState::tvIconOn,
     .leaves = true,
     .menu = NavRecordedTv,
     .nowPlaying = true},
    {.mode = ModeCd,
     .hasIcon = true,
     .icon = Icon::Cd,
     .iconFlag = &AgentState::cdIconOn,
     .leaves = true,
     .dropsSessionIndicator = true,
     .menu = NavDvd,
     .nowPlaying = true},
    {.mode = ModeMusic,
     .hasIcon = true,
     .icon = Icon::Music,
     .iconFlag = &AgentState::musicIconOn,
     .leaves = true,
     .clearsLinesUnderMenu = true,
     .dropsSessionIndicator = true,
     .menu = NavMusic,
     .nowPlaying = true},
    {.mode = ModeVideo,
     .hasIcon = true,
     .icon = Icon::Video,
     .iconFlag = &AgentState::videoIconOn,
     .leaves = true,
     .menu = NavVideos,
     .nowPlaying = true},
    {.mode = ModeDvd,
     .hasIcon = true,
     .icon = Icon::Dvd,
     .iconFlag = &AgentState::dvdIconOn,
     .leaves = true,
     .resetsTimeEvents = true,
     .menu = NavDvd,
     .nowPlaying = true},
    {.mode = ModeRadio,
     .iconFlag = &AgentState::radioOn,
     .leaves = true,
     .menu = NavRadio,
     .nowPlaying = true,
     .playClockMode = 1},
    {.mode = ModePictures,
     .hasIcon = true,
     .icon = Icon::Picture,
     .iconFlag = &AgentState::pictureIconOn,
     .menu = NavPictures,
     .nowPlaying = true,
     .playClockMode = 1},
    {.mode = ModePhoneCall, .leaves = true},
    {.mode = ModeVcd,
     .hasIcon = true,
     .icon = Icon::Vcd,
     .iconFlag = &AgentState::vcdIconOn,
     .clearsDvdFirst = true,
     .leaves = true,
     .resetsTimeEvents = true,
     .menu = NavDvd,
     .nowPlaying = true},
}};

// The traits of a media mode; null for ModeNone and any value that is no mode.
constexpr const ModeTraits* FindModeTraits(uint8_t mode) {
  for (const ModeTraits& traits : kModeTraits) {
    if (traits.mode == mode) return &traits;
  }
  return nullptr;
}

// The order in which the panel rebuild looks for the one media icon to light again.
inline constexpr std::array<uint8_t, 7> kRebuildIconOrder{ModeVideo, ModeMusic, ModeCd, ModeLiveTv,
                                                          ModeRadio, ModeDvd,   ModeVcd};

}  // namespace lumora
