// The translation core of the follower: the state changes of every player application it hears
// (Kodi's JSON-RPC, the desktop players on the session bus, ...) in, the Media State Events of
// one media-state event source out, in the order such a source sends them.
//
// One MediaSource serves every source of a follower, so that several applications share one
// panel by one set of rules (docs/sources.md): session 1 (kShellSession) is open while any
// application is there and carries the menu of the application that navigated last; every
// player gets a media session of its own from one counter, never reused while the follower
// runs; the player that changed state last has the panel, and when it ends the one that played
// before is told again. Each source talks to the core through its SourceApp.
//
// The core keeps what it has told the agent and sends only what changed, through an EventSink
// the follower provides (the agent's socket on Linux, WM_COPYDATA on Windows). It also keeps
// what every player plays, so that an agent that restarted is told everything again (Resend)
// without asking the players. It knows nothing of the agent, the panel or a host: only the
// event catalogue, the text conversion of the ground floor and the panel's level steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_catalogue.h"
#include "base/media_event.h"

namespace lumora::sources {

inline constexpr int32_t kShellSession = 1;
// Titles longer than the text field are cut at a word that ends at least this many characters
// in; with no such word, after the field's 32nd character.
inline constexpr size_t kTitleMax = kEventTextSize - 1;
inline constexpr size_t kWordCutMin = 24;
// A player that plays while the user browses a menu is shown again this long after the last
// menu the panel was told.
inline constexpr int64_t kMenuHoldMs = 5000;
// A position that goes back by less than this without a seek is taken as the player's own
// jitter: the panel keeps its time until the position passes it again.
inline constexpr int64_t kBackwardJitterMs = 2000;

// One event as it goes to the agent: the text field in Windows-1252, at most 32 characters.
struct SourceEvent {
  int32_t sessionId = 0;
  EventCode code = EventCode::SessionOpened;
  char text[kEventTextSize] = {};
  size_t length = 0;  // of text, without the NUL

  std::string_view Text() const { return {text, length}; }
};

// Where the events go. Deliver returns false when the agent did not take the event (not
// running, gone); the MediaSource then sends nothing more until the follower says the agent is
// back (AgentLost, then Resend).
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual bool Deliver(const SourceEvent& event) = 0;
};

// The application's menus that have a navigation event; Other for every screen that has none
// (settings, a dialog, a full-screen player): it sends nothing and leaves the last menu shown.
enum class Menu : uint8_t {
  Other,
  Home,
  LiveTv,
  Guide,
  Music,
  Pictures,
  Videos,
  RecordedTv,
  Radio,
  OnlineMedia,  // add-ons, web and online content
  Disc,         // the disc menu of a DVD
};

// What an item is; decides its start event.
enum class ItemKind : uint8_t {
  Song,          // a song, or any audio file -> music
  AudioCd,       // a track of an audio CD -> CD
  Movie,         // a movie -> video
  Episode,       // an episode of a series -> video
  MusicVideo,    // -> video
  Video,         // any other video file -> video
  DiscImage,     // a DVD image or folder -> disc
  TvChannel,     // -> live TV
  RadioChannel,  // -> radio
  Recording,     // a TV recording -> recorded TV
  Picture,       // a picture of a slideshow -> pictures
};

// An item as the player describes it. Texts in UTF-8, any length: the MediaSource converts and
// cuts them.
struct Item {
  ItemKind kind = ItemKind::Song;
  std::string title;        // the song's, film's, channel's or picture's name
  std::string artist;       // songs and CDs
  int64_t number = 0;       // track, channel or chapter number; 0 when the player gives none
  int64_t titleNumber = 0;  // the title of a disc; 0 when none
  std::string fallback;     // what to show when the title has nothing the panel can show (the
                            // file name, the artist); may be empty
  std::string player;       // the player's own name, as lumora status shows it (mpv, Kodi)
};

enum class PlayState : uint8_t {
  Stopped,
  Playing,
  Paused,
  FastForward,
  Rewind,
};

// The play state of a player's speed: 0 paused, 1 playing, above 1 fast forward, below 0
// rewind. (A speed between 0 and 1, slow motion, counts as playing.)
PlayState PlayStateOfSpeed(double speed);

// The Level payload of a volume in percent (0 to 100, clamped), over the bar's whole range: the
// bar lights round(percent × 16 / 100) of its 16 segments, at least the one a shown bar always
// keeps (0 % and muted), all 16 at 100 %.
int LevelOfVolume(double percent);

// A title for the text field: converted to Windows-1252 (characters the set cannot hold
// replaced), blanks at either end dropped, and cut to 32 characters at a word near the end when
// it is longer.
std::string FieldText(std::string_view utf8);
// Whether a field text shows anything but the replacement of characters the set cannot hold.
bool ShowsSomething(std::string_view field);

// The PlayTime payload of a position: six digits HHMMSS; hours above 99 show as 99, and a
// negative position as 0.
std::string PlayTimeText(int64_t seconds);

// A player as its source names it (Kodi's player id, a bus name's index, ...): unique within
// its application.
using PlayerId = int64_t;

class SourceApp;

class MediaSource {
 public:
  // now gives the time in milliseconds on a clock that never jumps (the follower's monotonic
  // clock; the tests' own).
  MediaSource(EventSink& sink, std::function<int64_t()> now);

  // Time-driven work: the play time of a playing player as its whole seconds turn, and a player
  // shown again after a menu (kMenuHoldMs). The follower calls Tick when NextTickInMs says.
  void Tick();
  // Milliseconds until Tick has something to do; -1 when nothing waits.
  int64_t NextTickInMs() const;

  // The machine goes to sleep / wakes. The agent hears the power change from the system itself;
  // the core only keeps quiet while asleep.
  void Sleep();
  void Wake();

  // True once a Deliver has failed: from then on nothing is sent, until AgentLost.
  bool agentLost() const { return lost_; }
  // The agent did not take everything it was sent. newAgent: another agent answers now (it
  // restarted), which was told nothing: every player's session opens again under a new number;
  // otherwise the same agent, which keeps the sessions it saw opened. Then Resend tells it
  // everything again.
  void AgentLost(bool newAgent);
  // Tells the agent everything it lacks: the shell and its menu, the level, each player's item
  // and state (the player that has the panel last).
  void Resend();

  // The player that has the panel: its application's name, its own name and its session;
  // empty names and -1 when none.
  std::string_view frontApplication() const;
  std::string_view frontPlayer() const;
  int32_t frontSession() const;
  // How many players the core keeps (for the bound of memory).
  size_t playerCount() const { return players_.size(); }

 private:
  friend class SourceApp;

  struct App {
    std::string name;
    bool running = false;
    Menu menu = Menu::Other;
    uint64_t navigated = 0;  // when it last navigated (the core's counter); 0 never
    double volume = -1;      // percent; -1 unknown
    bool muted = false;
  };
  struct Player {
    int app = 0;
    PlayerId id = 0;
    uint64_t serial = 0;  // names it for as long as the core keeps it
    int32_t session = -1;
    bool opened = false;  // the agent saw its session open
    bool hasItem = false;
    bool told = false;  // the agent has its item since it last went to the panel
    ItemKind kind = ItemKind::Song;
    std::string name;    // the player's own name
    std::string title;   // the field texts, converted
    std::string artist;  // ExtraText
    int64_t number = 0;
    int64_t titleNumber = 0;
    PlayState state = PlayState::Stopped;  // as the player is
    PlayState toldState = PlayState::Stopped;
    uint64_t changed = 0;     // when it last changed state (the core's counter)
    int64_t positionMs = -1;  // the last position the player gave, -1 none
    int64_t positionAt = 0;   // when it gave it (now())
    int64_t lastTime = -1;    // the last PlayTime sent, in seconds
    double volume = -1;       // a player's own volume in percent; -1 none
  };

  int AddApp(std::string name);
  App& AppOf(int app) { return apps_[static_cast<size_t>(app)]; }
  Player* Find(int app, PlayerId id);
  Player* Front();
  const Player* Front() const;

  // The application's calls (SourceApp forwards them).
  void Started(int app, Menu menu);
  void Ended(int app);
  void MenuChanged(int app, Menu menu);
  void ItemStarted(int app, PlayerId id, const Item& item);
  void StateChanged(int app, PlayerId id, PlayState state);
  void PositionChanged(int app, PlayerId id, int64_t ms, bool seeked);
  void VolumeChanged(int app, double percent, bool muted);
  void PlayerVolumeChanged(int app, PlayerId id, double percent);
  void PlayerEnded(int app, PlayerId id);

  void Send(int32_t session, EventCode code, std::string_view text = {});
  void SendNumber(int32_t session, EventCode code, int64_t value);
  void OpenShell();
  void SendMenu(Menu menu);
  // The menu of the application that navigated last, when it is not the one shown (or even
  // then).
  void MenuAgain(bool evenIfShown);
  void TellFromStart(Player& player);
  void SendState(Player& player);
  void SendTime(Player& player, bool force);
  int64_t PositionNow(const Player& player) const;
  void SendLevel();
  void Close(Player& player);
  void EndPlayer(size_t index);
  void FrontEnded();
  bool AnyRunning() const;

  EventSink& sink_;
  std::function<int64_t()> now_;
  std::vector<App> apps_;
  std::vector<Player> players_;
  bool shellOpen_ = false;    // some application is there
  bool shellOpened_ = false;  // the agent saw session 1 open
  bool asleep_ = false;
  bool lost_ = false;             // a Deliver failed: nothing is sent until AgentLost
  Menu shownMenu_ = Menu::Other;  // the menu the agent was told last
  int64_t menuHoldFrom_ = -1;     // when a menu went over a playing item; -1 none
  int32_t nextSession_ = kShellSession + 1;
  uint64_t clock_ = 0;        // orders state changes and navigation
  uint64_t frontSerial_ = 0;  // the player with the panel; 0 none
  int level_ = -1;            // the last Level sent, -1 none
};

// One application's side of the core: what its source says. A second ApplicationStarted
// changes nothing but the menu; every call about a player names it by the source's own id.
class SourceApp {
 public:
  SourceApp(MediaSource& core, std::string name)
      : core_(core), app_(core.AddApp(std::move(name))) {}

  // The application is there: opens the shell session (once for all applications) and shows
  // the menu; Other: it has no menu of its own (a desktop player) and leaves the menu as it is.
  void ApplicationStarted(Menu menu = Menu::Home) { core_.Started(app_, menu); }
  // The application is gone (quit, connection lost): stops and closes its players' sessions;
  // the shell closes when it was the last application there.
  void ApplicationEnded() { core_.Ended(app_); }
  bool applicationRunning() const { return core_.apps_[static_cast<size_t>(app_)].running; }

  // The menu the user is on; told when the application navigated last and it changed.
  void MenuChanged(Menu menu) { core_.MenuChanged(app_, menu); }

  // A new item plays in the player: its session opens on its first item, then the start event
  // of the kind, the numbers, the title and the state (Play unless said otherwise since).
  void ItemStarted(PlayerId player, const Item& item) { core_.ItemStarted(app_, player, item); }
  // Play, Pause, Stop, the two scans. Ignored before the player's first item.
  void PlayStateChanged(PlayerId player, PlayState state) {
    core_.StateChanged(app_, player, state);
  }
  // The player's position in milliseconds, as it is now: the play time follows it and, while
  // the player plays, runs on from it by the core's clock; seeked: a jump the player announced.
  void PositionChanged(PlayerId player, int64_t ms, bool seeked = false) {
    core_.PositionChanged(app_, player, ms, seeked);
  }
  // The application's volume (Kodi's); a player's own volume (a desktop player's) below.
  void VolumeChanged(double percent, bool muted) { core_.VolumeChanged(app_, percent, muted); }
  void PlayerVolumeChanged(PlayerId player, double percent) {
    core_.PlayerVolumeChanged(app_, player, percent);
  }
  // The player has ended: Stop (unless it was stopped) and the close of its session.
  void PlayerEnded(PlayerId player) { core_.PlayerEnded(app_, player); }

  void Sleep() { core_.Sleep(); }
  void Wake() { core_.Wake(); }

 private:
  MediaSource& core_;
  int app_;
};

}  // namespace lumora::sources
