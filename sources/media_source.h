// The translation core of every bridge: a player application's state changes in, the Media
// State Events of a media-state event source out, in the order such a source sends them.
//
// A bridge (Kodi's JSON-RPC, a desktop player on the session bus, ...) decodes what its player
// says and calls the MediaSource below; the MediaSource keeps what it has told the agent and
// sends only what changed, through an EventSink the bridge provides (the agent's socket on
// Linux, WM_COPYDATA on Windows). It knows nothing of the agent, the panel or a host: only the
// event catalogue and the text conversion of the ground floor.
//
// Sessions: the application's own shell is session 1 (kShellSession): opened when the
// application is there, it carries the menus. Every player gets a media session of its own, a
// new number from 2 up, opened just before its first event and closed when the player ends or
// the application goes. docs/sources.md has the whole mapping as a table.
#pragma once

#include <cstddef>
#include <cstdint>
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

// One event as it goes to the agent: the text field in Windows-1252, at most 32 characters.
struct SourceEvent {
  int32_t sessionId = 0;
  EventCode code = EventCode::SessionOpened;
  char text[kEventTextSize] = {};
  size_t length = 0;  // of text, without the NUL

  std::string_view Text() const { return {text, length}; }
};

// Where the events go. Deliver returns false when the agent did not take the event (not
// running, gone); the MediaSource then forgets what it had opened, so that everything is sent
// again, in order, once the agent is back (Resend).
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

// The Level payload of a volume in percent (0 to 100, clamped): 0 to 255, rounded to nearest.
int LevelOfVolume(double percent);

// A title for the text field: converted to Windows-1252 (characters the set cannot hold
// replaced), blanks at either end dropped, and cut to 32 characters at a word near the end when
// it is longer.
std::string FieldText(std::string_view utf8);

// The PlayTime payload of a position: six digits HHMMSS; hours above 99 show as 99, and a
// negative position as 0.
std::string PlayTimeText(int64_t seconds);

// A player as the bridge names it (Kodi's player id, a bus name's index, ...).
using PlayerId = int64_t;

class MediaSource {
 public:
  explicit MediaSource(EventSink& sink);

  // The application is there: opens the shell session and shows the menu (Home when the
  // application does not say). A second call changes nothing.
  void ApplicationStarted(Menu menu = Menu::Home);
  // The application is gone (quit, connection lost): stops and closes every player's session,
  // then the shell session. Nothing is sent when it was not there.
  void ApplicationEnded();
  bool applicationRunning() const { return shellOpen_; }

  // The menu the user is on; sent only when it changes (and never for Other).
  void MenuChanged(Menu menu);

  // A new item plays in the player: opens its session on the first item, then the start event
  // of the kind, the number, the title, and the play state the player is in (Play unless the
  // bridge said otherwise before). An item of the same kind in the same session sends its start
  // event again (the agent then stays in the same media mode).
  void ItemStarted(PlayerId player, const Item& item);
  // Play, Pause, Stop, the two scans; sent only on change. Ignored before the player's first
  // item (nothing says what kind of media it would be).
  void PlayStateChanged(PlayerId player, PlayState state);
  // The position in seconds: sent as PlayTime when its whole seconds changed while the player
  // plays, and at once after a seek (seeked) in any state. Never for live TV, whose play time
  // the agent does not show.
  void PositionChanged(PlayerId player, int64_t seconds, bool seeked = false);
  // The application's volume: Level of the player that played last (the shell session when
  // none plays); mute sends Level 0, unmute the volume again. Sent only on change.
  void VolumeChanged(double percent, bool muted);
  // The player has ended: Stop (unless it was stopped) and the close of its session.
  void PlayerEnded(PlayerId player);

  // The machine goes to sleep / wakes. The agent hears the power change from the system itself;
  // the source only keeps quiet while asleep and sends what changed meanwhile after waking.
  void Sleep();
  void Wake();

  // True once a Deliver has failed: from then on nothing is sent, until the bridge calls
  // AgentLost.
  bool agentLost() const { return lost_; }
  // The agent lost everything it was told (it restarted, or a send failed): forget every open
  // session, so that the next call opens the shell again; the bridge then tells the source the
  // player's state once more.
  void AgentLost();

  // The session of a player; -1 when it has none.
  int32_t SessionOf(PlayerId player) const;

 private:
  struct Player {
    PlayerId id = 0;
    int32_t session = -1;
    ItemKind kind = ItemKind::Song;
    bool hasItem = false;
    PlayState state = PlayState::Stopped;
    int64_t lastTime = -1;  // the last PlayTime sent, in seconds
  };

  Player* Find(PlayerId player);
  const Player* Find(PlayerId player) const;
  void SendNav(Menu menu);
  void Send(int32_t session, EventCode code, std::string_view text = {});
  void SendNumber(int32_t session, EventCode code, int64_t value);
  void SendState(Player& player, PlayState state);
  void SendLevel();
  void Close(Player& player);

  EventSink& sink_;
  bool shellOpen_ = false;
  bool asleep_ = false;
  bool lost_ = false;  // a Deliver failed: nothing is sent until AgentLost
  Menu menu_ = Menu::Other;
  int32_t nextSession_ = kShellSession + 1;
  std::vector<Player> players_;
  int32_t levelSession_ = kShellSession;
  int level_ = -1;  // the last Level sent, -1 none
  double volume_ = -1;
  bool muted_ = false;
};

}  // namespace lumora::sources
