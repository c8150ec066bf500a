#include "sources/media_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/text_encoding.h"

namespace lumora::sources {

namespace {

// The navigation event of each menu.
struct MenuRow {
  Menu menu;
  EventCode nav;
};
constexpr std::array<MenuRow, 10> kMenus{{
    {Menu::Home, EventCode::NavHome},
    {Menu::LiveTv, EventCode::NavLiveTv},
    {Menu::Guide, EventCode::NavGuide},
    {Menu::Music, EventCode::NavMusic},
    {Menu::Pictures, EventCode::NavPictures},
    {Menu::Videos, EventCode::NavVideos},
    {Menu::RecordedTv, EventCode::NavRecordedTv},
    {Menu::Radio, EventCode::NavRadio},
    {Menu::OnlineMedia, EventCode::NavOnlineMedia},
    {Menu::Disc, EventCode::NavDvd},
}};

// What each kind of item sends when it starts, in this order: the start event, the title
// number, the item number, the title (in its event), the artist (ExtraText); and whether its
// play time goes to the agent.
enum class Field : uint8_t { None, Number, Title };
struct KindRow {
  ItemKind kind;
  EventCode start;
  bool titleNumber;      // TitleNumber of a disc
  bool number;           // ItemNumber: track, channel or chapter
  EventCode titleEvent;  // where the title goes; SessionOpened for nowhere
  bool artist;           // ExtraText
  bool playTime;
};
constexpr EventCode kNowhere = EventCode::SessionOpened;
constexpr std::array<KindRow, 11> kKinds{{
    {ItemKind::Song, EventCode::MusicStarted, false, true, EventCode::MusicTitle, true, true},
    {ItemKind::AudioCd, EventCode::CdStarted, false, true, kNowhere, true, true},
    {ItemKind::Movie, EventCode::VideoStarted, false, false, EventCode::MediaName, false, true},
    {ItemKind::Episode, EventCode::VideoStarted, false, false, EventCode::MediaName, false, true},
    {ItemKind::MusicVideo, EventCode::VideoStarted, false, false, EventCode::MediaName, false,
     true},
    {ItemKind::Video, EventCode::VideoStarted, false, false, EventCode::MediaName, false, true},
    {ItemKind::DiscImage, EventCode::DiscStarted, true, true, EventCode::MediaName, false, true},
    {ItemKind::TvChannel, EventCode::LiveTvStarted, false, true, kNowhere, false, false},
    {ItemKind::RadioChannel, EventCode::RadioStarted, false, false, kNowhere, false, false},
    {ItemKind::Recording, EventCode::RecordedTvStarted, false, false, EventCode::MediaName, false,
     true},
    {ItemKind::Picture, EventCode::PicturesStarted, false, false, EventCode::PictureName, false,
     false},
}};

const KindRow& RowOf(ItemKind kind) {
  for (const KindRow& row : kKinds)
    if (row.kind == kind) return row;
  return kKinds[0];
}

// The transport event of each play state.
EventCode EventOfState(PlayState state) {
  switch (state) {
    case PlayState::Playing:
      return EventCode::Play;
    case PlayState::Paused:
      return EventCode::Pause;
    case PlayState::FastForward:
      return EventCode::ScanA;
    case PlayState::Rewind:
      return EventCode::ScanB;
    case PlayState::Stopped:
      break;
  }
  return EventCode::Stop;
}

bool Plays(PlayState state) {
  return state == PlayState::Playing || state == PlayState::FastForward ||
         state == PlayState::Rewind;
}

}  // namespace

PlayState PlayStateOfSpeed(double speed) {
  if (std::isnan(speed)) return PlayState::Playing;
  if (speed == 0) return PlayState::Paused;
  if (speed < 0) return PlayState::Rewind;
  if (speed > 1) return PlayState::FastForward;
  return PlayState::Playing;
}

int LevelOfVolume(double percent) {
  if (!(percent > 0)) return 0;  // NaN included
  if (percent >= 100) return 255;
  return static_cast<int>(std::lround(percent * 255.0 / 100.0));
}

std::string FieldText(std::string_view utf8) {
  std::string text = Utf8ToWindows1252Replacing(utf8);
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  text.erase(0, first);
  text.erase(text.find_last_not_of(' ') + 1);
  if (text.size() <= kTitleMax) return text;
  // Cut at the last blank that leaves a word whole within the field, when one ends near the
  // field's end; otherwise after the 32nd character.
  size_t cut = kTitleMax;
  if (text[kTitleMax] != ' ') {
    const size_t blank = text.rfind(' ', kTitleMax);
    if (blank != std::string::npos && blank >= kWordCutMin) cut = blank;
  }
  text.resize(cut);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string PlayTimeText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  int64_t hours = seconds / 3600;
  if (hours > 99) return "995959";
  char text[8];
  std::snprintf(text, sizeof text, "%02d%02d%02d", static_cast<int>(hours),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

MediaSource::MediaSource(EventSink& sink) : sink_(sink) {}

void MediaSource::Send(int32_t session, EventCode code, std::string_view text) {
  if (lost_) return;  // nothing more until the bridge has told the source (AgentLost)
  SourceEvent event;
  event.sessionId = session;
  event.code = code;
  event.length = std::min(text.size(), kTitleMax);
  // An empty text may have no bytes at all to copy from.
  if (event.length > 0) std::memcpy(event.text, text.data(), event.length);
  if (!sink_.Deliver(event)) lost_ = true;
}

void MediaSource::SendNumber(int32_t session, EventCode code, int64_t value) {
  Send(session, code, std::to_string(value));
}

void MediaSource::SendNav(Menu menu) {
  for (const MenuRow& row : kMenus) {
    if (row.menu != menu) continue;
    menu_ = menu;
    Send(kShellSession, row.nav);
    return;
  }
}

void MediaSource::ApplicationStarted(Menu menu) {
  if (shellOpen_) {
    MenuChanged(menu);
    return;
  }
  shellOpen_ = true;
  Send(kShellSession, EventCode::SessionOpened);
  // The agent takes the panel from its clock at the first menu: Home when the application is on
  // a screen that has none.
  SendNav(menu == Menu::Other ? Menu::Home : menu);
  if (volume_ >= 0) SendLevel();
}

void MediaSource::ApplicationEnded() {
  if (!shellOpen_) return;
  for (Player& player : players_)
    Close(player);
  players_.clear();
  Send(kShellSession, EventCode::SessionClosed);
  shellOpen_ = false;
  menu_ = Menu::Other;
  level_ = -1;
  levelSession_ = kShellSession;
  // The application's next start has a volume of its own, not the one it had.
  volume_ = -1;
  muted_ = false;
}

void MediaSource::MenuChanged(Menu menu) {
  if (!shellOpen_) {
    ApplicationStarted(menu);
    return;
  }
  if (menu == Menu::Other || menu == menu_) return;
  SendNav(menu);
}

MediaSource::Player* MediaSource::Find(PlayerId player) {
  for (Player& p : players_)
    if (p.id == player) return &p;
  return nullptr;
}

const MediaSource::Player* MediaSource::Find(PlayerId player) const {
  for (const Player& p : players_)
    if (p.id == player) return &p;
  return nullptr;
}

void MediaSource::ItemStarted(PlayerId id, const Item& item) {
  if (!shellOpen_) ApplicationStarted(Menu::Home);
  Player* player = Find(id);
  if (player == nullptr) {
    players_.push_back(Player{});
    player = &players_.back();
    player->id = id;
  }
  if (player->session < 0) {
    player->session = nextSession_++;
    Send(player->session, EventCode::SessionOpened);
  }
  const KindRow& row = RowOf(item.kind);
  player->kind = item.kind;
  player->hasItem = true;
  player->lastTime = -1;
  Send(player->session, row.start);
  if (row.titleNumber && item.titleNumber > 0)
    SendNumber(player->session, EventCode::TitleNumber, item.titleNumber);
  if (row.number && item.number > 0)
    SendNumber(player->session, EventCode::ItemNumber, item.number);
  if (row.titleEvent != kNowhere) {
    const std::string title = FieldText(item.title);
    if (!title.empty()) Send(player->session, row.titleEvent, title);
  }
  if (row.artist) {
    const std::string artist = FieldText(item.artist);
    if (!artist.empty()) Send(player->session, EventCode::ExtraText, artist);
  }
  // A new item plays; the bridge says so if it does not.
  player->state = PlayState::Stopped;
  SendState(*player, PlayState::Playing);
}

void MediaSource::SendState(Player& player, PlayState state) {
  if (player.state == state) return;
  player.state = state;
  Send(player.session, EventOfState(state));
  if (state == PlayState::Playing && levelSession_ != player.session) {
    // The level follows the player that played last.
    levelSession_ = player.session;
  }
}

void MediaSource::PlayStateChanged(PlayerId id, PlayState state) {
  Player* player = Find(id);
  if (player == nullptr || !player->hasItem) return;
  SendState(*player, state);
}

void MediaSource::PositionChanged(PlayerId id, int64_t seconds, bool seeked) {
  Player* player = Find(id);
  if (player == nullptr || !player->hasItem || asleep_) return;
  if (!RowOf(player->kind).playTime) return;
  if (seconds < 0) seconds = 0;
  if (!seeked && (!Plays(player->state) || seconds == player->lastTime)) return;
  player->lastTime = seconds;
  Send(player->session, EventCode::PlayTime, PlayTimeText(seconds));
}

void MediaSource::SendLevel() {
  const int level = muted_ ? 0 : LevelOfVolume(volume_);
  if (level == level_) return;
  level_ = level;
  SendNumber(levelSession_, EventCode::Level, level);
}

void MediaSource::VolumeChanged(double percent, bool muted) {
  volume_ = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
  muted_ = muted;
  if (shellOpen_) SendLevel();
}

void MediaSource::Close(Player& player) {
  if (player.session < 0) return;
  if (player.hasItem && player.state != PlayState::Stopped) Send(player.session, EventCode::Stop);
  Send(player.session, EventCode::SessionClosed);
  if (levelSession_ == player.session) levelSession_ = kShellSession;
  player.session = -1;
  player.hasItem = false;
  player.state = PlayState::Stopped;
}

void MediaSource::PlayerEnded(PlayerId id) {
  Player* player = Find(id);
  if (player == nullptr) return;
  Close(*player);
  players_.erase(players_.begin() + (player - players_.data()));
}

void MediaSource::Sleep() {
  asleep_ = true;
}

void MediaSource::Wake() {
  asleep_ = false;
}

void MediaSource::AgentLost() {
  lost_ = false;
  shellOpen_ = false;
  players_.clear();
  menu_ = Menu::Other;
  level_ = -1;
  levelSession_ = kShellSession;
}

int32_t MediaSource::SessionOf(PlayerId id) const {
  const Player* player = Find(id);
  return player == nullptr ? -1 : player->session;
}

}  // namespace lumora::sources
