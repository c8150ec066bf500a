// The Kodi bridge's protocol, without sockets: Kodi's JSON-RPC messages in (notifications and
// the answers to the bridge's requests), calls of the translation core out, and the requests
// the bridge must send to Kodi. The Linux follower (kodi_link.h) and the Windows one feed it
// the bytes they read and write the requests it asks for.
//
// Notifications followed: Player.OnPlay, OnAVStart, OnPause, OnResume, OnStop, OnSpeedChanged,
// OnSeek; Application.OnVolumeChanged; GUI.OnScreensaverActivated/Deactivated; System.OnQuit,
// OnSleep, OnWake. Kodi announces no change of window: LookAtWindow asks for it (the follower
// does so five times a second, so that a menu reaches the panel within a fraction of a second);
// once a second (Poll) it asks for Player.GetProperties (time, speed) of every active player,
// whose play time the core runs on between two answers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "sources/kodi/json_stream.h"
#include "sources/media_source.h"

namespace lumora::sources {

// The menu of one of Kodi's windows (by its id); Menu::Other for a window without one.
Menu MenuOfKodiWindow(int64_t windowId);

class KodiBridge;
// Feeds a capture written through KodiBridge::SetCapture to the bridge: every step and message
// in its order. False with "line N: reason" for a line that is neither.
bool ReplayCapture(std::string_view capture, KodiBridge& bridge, std::string& error);

class KodiBridge {
 public:
  // request writes one request (a whole JSON object) to Kodi; problem reports one line about
  // what Kodi sent that the bridge could not use (the bridge runs on). Each kind of problem is
  // told once a connection; further ones of the kind are counted, and the count told at most
  // once every kProblemCountPolls polls and when the connection ends.
  KodiBridge(SourceApp& source, std::function<void(const std::string&)> request,
             std::function<void(const std::string&)> problem);

  // Kodi answered the connection: asks for the window, the volume and the active players; the
  // shell session opens with the first answer.
  void Connected();
  // Bytes read from Kodi. False when the stream cannot be followed any more (a message over
  // kMaxMessageBytes): the caller drops the connection.
  bool Receive(std::string_view bytes);
  // Once a second while connected: the players' time and speed, and the window; also the clock
  // of the problems' counts.
  void Poll();
  // Asks for the current window (a menu the user went to), unless an answer is awaited.
  void LookAtWindow();
  // The connection to Kodi is gone (Kodi quit, crashed or dropped it): closes what was opened.
  void Disconnected();
  // One whole message (for the tests and the fuzzing harness): decodes and applies it.
  void Handle(std::string_view message);

  // Writes, one a line, every step of the bridge ("connected", "poll", "window",
  // "disconnected") and every message from Kodi ("< " and the message as it came, line breaks
  // as blanks): ReplayCapture feeds such a capture to a bridge again, to the same events.
  void SetCapture(std::function<void(const std::string&)> capture) {
    capture_ = std::move(capture);
  }

 private:
  enum class Asked : uint8_t { Window, Volume, Players, Item, Properties };
  // The kinds of what Kodi sent that the bridge could not use, each told once a connection.
  enum class Problem : uint8_t { NotJson, Cut, NotObject, NotUtf8, Refused, Count };
  struct Pending {
    Asked what;
    int64_t player;
  };
  struct KnownPlayer {
    std::string type;     // audio, video, picture
    std::string itemKey;  // what identifies the item last started, to send it once
    bool itemAsked = false;
  };

  void Ask(Asked what, int64_t player, const char* method, const std::string& params);
  void AskItem(int64_t player);
  void AskPlayers();
  void AskProperties(int64_t player);
  void OnNotification(const std::string& method, const nlohmann::json& params);
  void OnAnswer(const Pending& pending, const nlohmann::json& result);
  // Tells the first problem of its kind on this connection; counts the others.
  void Report(Problem kind, const std::string& detail = {});
  // Tells the counts of the problems not shown since they were last told.
  void TellCounts();

  SourceApp& source_;
  std::function<void(const std::string&)> request_;
  std::function<void(const std::string&)> problem_;
  std::function<void(const std::string&)> capture_;
  JsonStream stream_;
  int64_t nextId_ = 1;
  std::map<int64_t, Pending> pending_;
  std::map<int64_t, KnownPlayer> players_;
  bool connected_ = false;
  // At most one question of these in flight: a flood of notifications asks once more after the
  // answer, never once each.
  bool playersAsked_ = false;
  bool playersAgain_ = false;
  bool windowAsked_ = false;
  // Per kind of problem: told on this connection, and how many more came since last told.
  std::array<bool, static_cast<size_t>(Problem::Count)> problemTold_{};
  std::array<uint64_t, static_cast<size_t>(Problem::Count)> problemCount_{};
  int pollsSinceCounts_ = 0;
};

// The counts of problems not shown are told at most once in this many polls (a minute).
inline constexpr int kProblemCountPolls = 60;

}  // namespace lumora::sources
