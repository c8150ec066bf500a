#include "sources/media_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/text_encoding.h"
#include "panel/panel_tables.h"

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
  if (!(percent > 0)) percent = 0;  // NaN included
  percent = std::min(percent, 100.0);
  // The segments to light, at least the one a shown bar keeps; the bar's step is one less.
  const long segments = std::max(1L, std::lround(percent * kLevelStepCount / 100.0));
  const auto step = static_cast<size_t>(segments - 1);
  // The lowest level of that step, as the agent reads a Level's number.
  const uint8_t level = step == 0 ? 0 : static_cast<uint8_t>(kLevelStepTop[step - 1] + 1);
  return PayloadOfLevel(level);
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

bool ShowsSomething(std::string_view field) {
  return field.find_first_not_of("? ") != std::string_view::npos;
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

MediaSource::MediaSource(EventSink& sink, std::function<int64_t()> now)
    : sink_(sink), now_(std::move(now)) {}

int MediaSource::AddApp(std::string name) {
  apps_.push_back(App{});
  apps_.back().name = std::move(name);
  return static_cast<int>(apps_.size() - 1);
}

MediaSource::Player* MediaSource::Find(int app, PlayerId id) {
  for (Player& p : players_)
    if (p.app == app && p.id == id) return &p;
  return nullptr;
}

MediaSource::Player* MediaSource::Front() {
  for (Player& p : players_)
    if (p.serial == frontSerial_) return &p;
  return nullptr;
}

const MediaSource::Player* MediaSource::Front() const {
  for (const Player& p : players_)
    if (p.serial == frontSerial_) return &p;
  return nullptr;
}

bool MediaSource::AnyRunning() const {
  return std::any_of(apps_.begin(), apps_.end(), [](const App& a) { return a.running; });
}

std::string_view MediaSource::frontApplication() const {
  const Player* front = Front();
  return front == nullptr ? std::string_view{}
                          : std::string_view(apps_[static_cast<size_t>(front->app)].name);
}

std::string_view MediaSource::frontPlayer() const {
  const Player* front = Front();
  return front == nullptr ? std::string_view{} : std::string_view(front->name);
}

int32_t MediaSource::frontSession() const {
  const Player* front = Front();
  return front == nullptr ? -1 : front->session;
}

void MediaSource::Send(int32_t session, EventCode code, std::string_view text) {
  if (lost_) return;  // nothing more until the follower says the agent is back
  SourceEvent event;
  event.sessionId = session;
  event.code = code;
  event.length = std::min(text.size(), kTitleMax);
  // An empty text may have no bytes at all to copy from.
  if (event.length > 0) std::memcpy(event.text, text.data(), event.length);
  if (!sink_.Deliver(event)) lost_ = true;
}

void MediaSource::SendNumber(int32_t session, EventCode code, int64_t value) {
  char text[24];
  const int length = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  Send(session, code, std::string_view(text, static_cast<size_t>(std::max(length, 0))));
}

void MediaSource::OpenShell() {
  shellOpen_ = true;
  if (shellOpened_) return;
  shellOpened_ = true;
  Send(kShellSession, EventCode::SessionOpened);
}

void MediaSource::SendMenu(Menu menu) {
  for (const MenuRow& row : kMenus) {
    if (row.menu != menu) continue;
    shownMenu_ = menu;
    Send(kShellSession, row.nav);
    // A menu over a playing item: the item comes back after a while.
    const Player* front = Front();
    menuHoldFrom_ =
        front != nullptr && front->told &&
                (front->state == PlayState::Playing || front->state == PlayState::Paused)
            ? now_()
            : -1;
    return;
  }
}

void MediaSource::MenuAgain(bool evenIfShown) {
  const App* last = nullptr;
  for (const App& a : apps_) {
    if (a.running && a.navigated > 0 && a.menu != Menu::Other &&
        (last == nullptr || a.navigated > last->navigated))
      last = &a;
  }
  if (last != nullptr && (evenIfShown || last->menu != shownMenu_)) SendMenu(last->menu);
}

void MediaSource::Started(int app, Menu menu) {
  App& a = AppOf(app);
  if (a.running) {
    MenuChanged(app, menu);
    return;
  }
  a.running = true;
  OpenShell();
  if (menu != Menu::Other) {
    a.menu = menu;
    a.navigated = ++clock_;
    if (menu != shownMenu_) SendMenu(menu);
  } else if (shownMenu_ == Menu::Other) {
    // The agent takes the panel from its clock at the first menu: Home for an application
    // without menus of its own.
    SendMenu(Menu::Home);
  }
  SendLevel();
}

void MediaSource::Ended(int app) {
  App& a = AppOf(app);
  if (!a.running) return;
  a.running = false;
  a.menu = Menu::Other;
  a.navigated = 0;
  // Its next start has a volume of its own, not the one it had.
  a.volume = -1;
  a.muted = false;
  bool frontEnded = false;
  for (size_t i = players_.size(); i-- > 0;) {
    if (players_[i].app != app) continue;
    frontEnded |= players_[i].serial == frontSerial_;
    Close(players_[i]);
    players_.erase(players_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (!AnyRunning()) {
    if (shellOpened_) Send(kShellSession, EventCode::SessionClosed);
    shellOpen_ = false;
    shellOpened_ = false;
    shownMenu_ = Menu::Other;
    menuHoldFrom_ = -1;
    frontSerial_ = 0;
    level_ = -1;
    return;
  }
  if (frontEnded) {
    frontSerial_ = 0;
    FrontEnded();
  } else if (Front() == nullptr) {
    MenuAgain(false);  // the menu of the application that navigated last before it
  }
}

void MediaSource::MenuChanged(int app, Menu menu) {
  App& a = AppOf(app);
  if (!a.running) {
    Started(app, menu);
    return;
  }
  if (menu == Menu::Other || menu == a.menu) return;
  a.menu = menu;
  a.navigated = ++clock_;
  if (menu != shownMenu_) SendMenu(menu);
}

void MediaSource::ItemStarted(int app, PlayerId id, const Item& item) {
  if (!AppOf(app).running) Started(app, Menu::Other);
  Player* player = Find(app, id);
  if (player == nullptr) {
    players_.push_back(Player{});
    player = &players_.back();
    player->app = app;
    player->id = id;
    player->serial = ++clock_;
  }
  player->kind = item.kind;
  player->name = item.player;
  player->title = FieldText(item.title);
  if (!ShowsSomething(player->title)) {
    std::string fallback = FieldText(item.fallback);
    if (ShowsSomething(fallback)) player->title = std::move(fallback);
  }
  player->artist = FieldText(item.artist);
  player->number = item.number;
  player->titleNumber = item.titleNumber;
  player->hasItem = true;
  player->state = PlayState::Playing;  // a new item plays; the source says so if it does not
  player->positionMs = -1;
  player->lastTime = -1;
  player->changed = ++clock_;
  TellFromStart(*player);
}

void MediaSource::TellFromStart(Player& player) {
  if (player.session < 0) player.session = nextSession_++;
  if (!player.opened) {
    player.opened = true;
    Send(player.session, EventCode::SessionOpened);
  }
  const KindRow& row = RowOf(player.kind);
  Send(player.session, row.start);
  if (row.titleNumber && player.titleNumber > 0)
    SendNumber(player.session, EventCode::TitleNumber, player.titleNumber);
  if (row.number && player.number > 0)
    SendNumber(player.session, EventCode::ItemNumber, player.number);
  if (row.titleEvent != kNowhere && !player.title.empty())
    Send(player.session, row.titleEvent, player.title);
  if (row.artist && !player.artist.empty())
    Send(player.session, EventCode::ExtraText, player.artist);
  // The start event leaves the session stopped: Play, then the state the player is in.
  Send(player.session, EventCode::Play);
  player.toldState = PlayState::Playing;
  player.told = true;
  frontSerial_ = player.serial;
  menuHoldFrom_ = -1;
  SendState(player);
  player.lastTime = -1;
  if (player.positionMs >= 0) SendTime(player, true);
  SendLevel();
}

void MediaSource::SendState(Player& player) {
  if (player.toldState == player.state) return;
  player.toldState = player.state;
  Send(player.session, EventOfState(player.state));
}

void MediaSource::StateChanged(int app, PlayerId id, PlayState state) {
  Player* player = Find(app, id);
  if (player == nullptr || !player->hasItem || player->state == state) return;
  // The position runs on only while playing: taken as it is now before the state changes.
  if (player->positionMs >= 0) {
    player->positionMs = PositionNow(*player);
    player->positionAt = now_();
  }
  player->state = state;
  player->changed = ++clock_;
  if (state == PlayState::Stopped) {
    // A stop is told as it is and leaves the panel where it is.
    if (player->told) SendState(*player);
    return;
  }
  if (player->serial == frontSerial_ && player->told) {
    SendState(*player);
    // A paused player's time is its exact one.
    if (state == PlayState::Paused && player->positionMs >= 0) SendTime(*player, false);
  } else {
    TellFromStart(*player);  // from the background, or not told since the agent came back
  }
}

int64_t MediaSource::PositionNow(const Player& player) const {
  if (player.state != PlayState::Playing) return player.positionMs;
  return player.positionMs + std::max<int64_t>(0, now_() - player.positionAt);
}

void MediaSource::SendTime(Player& player, bool force) {
  if (asleep_ || !RowOf(player.kind).playTime || player.positionMs < 0) return;
  const int64_t seconds = PositionNow(player) / 1000;
  if (!force) {
    if (player.state == PlayState::Stopped || seconds == player.lastTime) return;
    // A little behind while playing, without a seek: the player's own jitter, not worth a step
    // back.
    if (player.state == PlayState::Playing && seconds < player.lastTime &&
        (player.lastTime - seconds) * 1000 < kBackwardJitterMs)
      return;
  }
  player.lastTime = seconds;
  Send(player.session, EventCode::PlayTime, PlayTimeText(seconds));
}

void MediaSource::PositionChanged(int app, PlayerId id, int64_t ms, bool seeked) {
  Player* player = Find(app, id);
  if (player == nullptr || !player->hasItem) return;
  player->positionMs = std::max<int64_t>(0, ms);
  player->positionAt = now_();
  // The play time of the player that has the panel only.
  if (player->told && player->serial == frontSerial_) SendTime(*player, seeked);
}

void MediaSource::Tick() {
  Player* front = Front();
  if (front != nullptr && front->told && front->state == PlayState::Playing)
    SendTime(*front, false);
  if (menuHoldFrom_ >= 0 && now_() - menuHoldFrom_ >= kMenuHoldMs) {
    menuHoldFrom_ = -1;
    if (front != nullptr && front->told &&
        (front->state == PlayState::Playing || front->state == PlayState::Paused))
      TellFromStart(*front);
  }
}

int64_t MediaSource::NextTickInMs() const {
  int64_t next = -1;
  const int64_t now = now_();
  const Player* front = Front();
  if (front != nullptr && front->told && front->state == PlayState::Playing &&
      front->positionMs >= 0 && RowOf(front->kind).playTime && !asleep_) {
    next = 1000 - PositionNow(*front) % 1000;
  }
  if (menuHoldFrom_ >= 0) {
    const int64_t hold = std::max<int64_t>(0, kMenuHoldMs - (now - menuHoldFrom_));
    if (next < 0 || hold < next) next = hold;
  }
  return next;
}

void MediaSource::SendLevel() {
  if (!shellOpen_) return;
  // The volume of the player that has the panel (its own, else its application's); with none,
  // the volume of the application that navigated last.
  double volume = -1;
  bool muted = false;
  const Player* front = Front();
  if (front != nullptr) {
    const App& a = apps_[static_cast<size_t>(front->app)];
    volume = front->volume >= 0 ? front->volume : a.volume;
    muted = front->volume < 0 && a.muted;
  } else {
    const App* last = nullptr;
    for (const App& a : apps_) {
      if (a.running && a.volume >= 0 && (last == nullptr || a.navigated > last->navigated))
        last = &a;
    }
    if (last != nullptr) {
      volume = last->volume;
      muted = last->muted;
    }
  }
  if (volume < 0) return;
  const int level = LevelOfVolume(muted ? 0 : volume);
  if (level == level_) return;
  level_ = level;
  const int32_t session = front != nullptr && front->opened ? front->session : kShellSession;
  SendNumber(session, EventCode::Level, level);
}

void MediaSource::VolumeChanged(int app, double percent, bool muted) {
  App& a = AppOf(app);
  a.volume = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
  a.muted = muted;
  if (a.running) SendLevel();
}

void MediaSource::PlayerVolumeChanged(int app, PlayerId id, double percent) {
  Player* player = Find(app, id);
  if (player == nullptr) return;
  player->volume = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
  if (player->serial == frontSerial_) SendLevel();
}

void MediaSource::Close(Player& player) {
  if (player.opened) {
    if (player.told && player.toldState != PlayState::Stopped)
      Send(player.session, EventCode::Stop);
    Send(player.session, EventCode::SessionClosed);
  }
  player.opened = false;
  player.told = false;
  player.session = -1;
}

void MediaSource::PlayerEnded(int app, PlayerId id) {
  Player* player = Find(app, id);
  if (player == nullptr) return;
  const bool wasFront = player->serial == frontSerial_;
  Close(*player);
  players_.erase(players_.begin() + (player - players_.data()));
  if (!wasFront) return;
  frontSerial_ = 0;
  FrontEnded();
}

void MediaSource::FrontEnded() {
  // The player that changed state last before it takes the panel again.
  Player* next = nullptr;
  for (Player& p : players_) {
    if (p.hasItem && (next == nullptr || p.changed > next->changed)) next = &p;
  }
  if (next != nullptr && (Plays(next->state) || next->state == PlayState::Paused)) {
    TellFromStart(*next);
    return;
  }
  // Nothing plays: the panel shows the menu the user is on again (the agent left it for the
  // media that ended).
  if (next != nullptr) frontSerial_ = next->serial;
  MenuAgain(true);
  SendLevel();
}

void MediaSource::Sleep() {
  asleep_ = true;
}

void MediaSource::Wake() {
  asleep_ = false;
}

void MediaSource::AgentLost(bool newAgent) {
  lost_ = false;
  if (newAgent) shellOpened_ = false;
  for (Player& p : players_) {
    // A new agent knows none of the sessions: each is opened again under a new number, so that
    // no number stands for two openings.
    if (newAgent) {
      p.opened = false;
      p.session = -1;
    }
    p.told = false;
    p.toldState = PlayState::Stopped;
    p.lastTime = -1;
  }
  shownMenu_ = Menu::Other;
  menuHoldFrom_ = -1;
  level_ = -1;
}

void MediaSource::Resend() {
  if (!shellOpen_ || lost_) return;
  OpenShell();
  MenuAgain(false);
  if (shownMenu_ == Menu::Other) SendMenu(Menu::Home);
  // Every player that plays or pauses, in the order they changed, the one with the panel last.
  const uint64_t front = frontSerial_;
  std::vector<Player*> order;
  for (Player& p : players_) {
    if (p.hasItem && p.state != PlayState::Stopped) order.push_back(&p);
  }
  std::sort(order.begin(), order.end(), [front](const Player* a, const Player* b) {
    if ((a->serial == front) != (b->serial == front)) return b->serial == front;
    return a->changed < b->changed;
  });
  for (Player* p : order)
    TellFromStart(*p);
  frontSerial_ = front;
  SendLevel();
}

}  // namespace lumora::sources
