#include "sources/kodi/kodi_bridge.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include <utility>
#include "base/text_encoding.h"

namespace lumora::sources {

using nlohmann::json;

namespace {

// Kodi's windows that stand for a menu of the Media Center shell.
struct WindowRow {
  int64_t id;
  Menu menu;
};
constexpr std::array<WindowRow, 19> kWindows{{
    {10000, Menu::Home},        {10001, Menu::OnlineMedia},  // programs (add-ons)
    {10002, Menu::Pictures},    {10025, Menu::Videos},
    {10028, Menu::Videos},                             // video playlist
    {10040, Menu::OnlineMedia},                        // add-on browser
    {10500, Menu::Music},                              // music playlist
    {10502, Menu::Music},       {10503, Menu::Music},  // playlist editor
    {10700, Menu::LiveTv},      {10701, Menu::RecordedTv},
    {10702, Menu::Guide},       {10703, Menu::RecordedTv},  // timers
    {10704, Menu::LiveTv},                                  // search
    {10705, Menu::Radio},       {10706, Menu::Radio},       // radio recordings
    {10707, Menu::Radio},                                   // radio guide
    {10708, Menu::Radio},                                   // radio timers
    {10709, Menu::Radio},                                   // radio search
}};

// Members read without trusting their types: whatever Kodi (or anything on its port) sends,
// a missing or odd member reads as the default.
const json* Member(const json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

const json* Path(const json& object, std::initializer_list<const char*> keys) {
  const json* at = &object;
  for (const char* key : keys) {
    at = Member(*at, key);
    if (at == nullptr) return nullptr;
  }
  return at;
}

bool Real(const json* value, double& out) {
  if (value == nullptr || !value->is_number()) return false;
  out = value->get<double>();
  return std::isfinite(out);
}

int64_t Int(const json* value, int64_t otherwise) {
  double number = 0;
  if (!Real(value, number)) return otherwise;
  // Bounded well inside int64 so that no conversion overflows.
  if (number > 1e15 || number < -1e15) return otherwise;
  return static_cast<int64_t>(number);
}

std::string Text(const json* value) {
  if (value == nullptr) return {};
  if (value->is_string()) return value->get<std::string>();
  if (value->is_array()) {  // artists come as a list
    std::string joined;
    for (const json& part : *value) {
      if (!part.is_string()) continue;
      if (!joined.empty()) joined += ", ";
      joined += part.get<std::string>();
    }
    return joined;
  }
  return {};
}

// A time object {hours, minutes, seconds, milliseconds} in milliseconds; -1 when it is none.
int64_t Milliseconds(const json* time) {
  if (time == nullptr || !time->is_object()) return -1;
  const int64_t hours = Int(Member(*time, "hours"), 0);
  const int64_t minutes = Int(Member(*time, "minutes"), 0);
  const int64_t seconds = Int(Member(*time, "seconds"), 0);
  const int64_t milliseconds = Int(Member(*time, "milliseconds"), 0);
  // Kodi gives a slightly negative millisecond count right at the start of an item.
  if (hours < 0 || hours > 1000000 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
      milliseconds < -999 || milliseconds > 999)
    return -1;
  return std::max<int64_t>(0, ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds);
}

bool EndsWith(const std::string& text, std::string_view end) {
  if (text.size() < end.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    char c = text[text.size() - end.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != end[i]) return false;
  }
  return true;
}

ItemKind KindOf(const json& item, const std::string& playerType) {
  const std::string type = Text(Member(item, "type"));
  const std::string file = Text(Member(item, "file"));
  if (file.rfind("cdda://", 0) == 0) return ItemKind::AudioCd;
  if (file.rfind("dvd://", 0) == 0 || EndsWith(file, ".iso") || EndsWith(file, ".img") ||
      file.find("VIDEO_TS") != std::string::npos)
    return ItemKind::DiscImage;
  if (type == "song") return ItemKind::Song;
  if (type == "movie") return ItemKind::Movie;
  if (type == "episode") return ItemKind::Episode;
  if (type == "musicvideo") return ItemKind::MusicVideo;
  if (type == "picture") return ItemKind::Picture;
  if (type == "recording") return ItemKind::Recording;
  if (type == "channel")
    return Text(Member(item, "channeltype")) == "radio" ? ItemKind::RadioChannel
                                                        : ItemKind::TvChannel;
  // A file Kodi's library does not hold: by what plays it.
  if (playerType == "picture") return ItemKind::Picture;
  if (playerType == "video") return ItemKind::Video;
  return ItemKind::Song;
}

// The name of a file in a path or url, without its folder or extension.
std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// What each kind of problem is told as, by KodiBridge::Problem; written once, here.
constexpr std::array<const char*, 5> kProblemTexts{{
    "Kodi sent bytes that are not a JSON message; skipped",
    "Kodi sent a message cut short (the next one began inside it); dropped it and read on from "
    "the next",
    "Kodi sent a message that is not a JSON object; ignored",
    "Kodi sent text that is not UTF-8; its bad bytes are read as '?'",
    "Kodi refused a request",
}};

// At most this many requests wait for their answers; older ones are forgotten (Kodi answers
// every request, so more only pile up when it hangs).
constexpr size_t kMaxPending = 64;

}  // namespace

Menu MenuOfKodiWindow(int64_t windowId) {
  for (const WindowRow& row : kWindows)
    if (row.id == windowId) return row.menu;
  return Menu::Other;
}

KodiBridge::KodiBridge(SourceApp& source, std::function<void(const std::string&)> request,
                       std::function<void(const std::string&)> problem)
    : source_(source), request_(std::move(request)), problem_(std::move(problem)) {}

void KodiBridge::Ask(Asked what, int64_t player, const char* method, const std::string& params) {
  if (pending_.size() >= kMaxPending) {
    // The oldest question is given up: what it stood for may be asked again.
    const Asked oldest = pending_.begin()->second.what;
    if (oldest == Asked::Players) playersAsked_ = false;
    if (oldest == Asked::Window) windowAsked_ = false;
    pending_.erase(pending_.begin());
  }
  const int64_t id = nextId_++;
  pending_[id] = Pending{what, player};
  request_("{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + ",\"method\":\"" + method +
           "\",\"params\":" + params + "}");
}

void KodiBridge::AskItem(int64_t player) {
  Ask(Asked::Item, player, "Player.GetItem",
      "{\"playerid\":" + std::to_string(player) +
          ",\"properties\":[\"title\",\"artist\",\"track\",\"file\",\"channeltype\","
          "\"channelnumber\"]}");
}

void KodiBridge::AskPlayers() {
  if (playersAsked_) {
    playersAgain_ = true;  // asked again once the answer in flight has come
    return;
  }
  playersAsked_ = true;
  Ask(Asked::Players, -1, "Player.GetActivePlayers", "{}");
}

void KodiBridge::AskProperties(int64_t player) {
  Ask(Asked::Properties, player, "Player.GetProperties",
      "{\"playerid\":" + std::to_string(player) + ",\"properties\":[\"time\",\"speed\"]}");
}

void KodiBridge::Report(Problem kind, const std::string& detail) {
  static_assert(kProblemTexts.size() == static_cast<size_t>(Problem::Count));
  const auto index = static_cast<size_t>(kind);
  if (problemTold_[index]) {
    ++problemCount_[index];
    return;
  }
  problemTold_[index] = true;
  problem_(std::string(kProblemTexts[index]) + (detail.empty() ? "" : ": " + detail) +
           " (more of this kind on this connection are counted)");
}

void KodiBridge::TellCounts() {
  pollsSinceCounts_ = 0;
  for (size_t i = 0; i < problemCount_.size(); ++i) {
    if (problemCount_[i] == 0) continue;
    problem_(std::string(kProblemTexts[i]) + " (" + std::to_string(problemCount_[i]) +
             (problemCount_[i] == 1 ? " more time)" : " more times)"));
    problemCount_[i] = 0;
  }
}

void KodiBridge::Connected() {
  if (capture_) capture_("connected");
  TellCounts();
  problemTold_ = {};
  connected_ = true;
  pending_.clear();
  players_.clear();
  stream_.Clear();
  playersAsked_ = playersAgain_ = windowAsked_ = false;
  LookAtWindow();
  Ask(Asked::Volume, -1, "Application.GetProperties", "{\"properties\":[\"volume\",\"muted\"]}");
  AskPlayers();
}

void KodiBridge::Disconnected() {
  if (capture_) capture_("disconnected");
  TellCounts();
  problemTold_ = {};
  connected_ = false;
  pending_.clear();
  players_.clear();
  stream_.Clear();
  playersAsked_ = playersAgain_ = windowAsked_ = false;
  source_.ApplicationEnded();
}

void KodiBridge::Poll() {
  if (!connected_) return;
  if (capture_) capture_("poll");
  if (++pollsSinceCounts_ >= kProblemCountPolls) TellCounts();
  for (const auto& [id, player] : players_)
    AskProperties(id);
  LookAtWindow();
}

void KodiBridge::LookAtWindow() {
  if (!connected_ || windowAsked_) return;
  if (capture_) capture_("window");
  windowAsked_ = true;
  Ask(Asked::Window, -1, "GUI.GetProperties", "{\"properties\":[\"currentwindow\"]}");
}

bool KodiBridge::Receive(std::string_view bytes) {
  stream_.Append(bytes);
  std::string message;
  for (;;) {
    switch (stream_.Next(message)) {
      case JsonStream::Result::Value:
        Handle(message);
        break;
      case JsonStream::Result::NeedMore:
        return true;
      case JsonStream::Result::Garbage:
        Report(Problem::NotJson);
        break;
      case JsonStream::Result::Cut:
        Report(Problem::Cut);
        break;
      case JsonStream::Result::TooLong:
        problem_("Kodi sent a message over 1 MiB; dropping the connection");
        return false;
    }
  }
}

void KodiBridge::Handle(std::string_view message) {
  if (capture_) {
    std::string line = "< ";
    for (const char c : message)
      line += c == '\n' || c == '\r' ? ' ' : c;
    capture_(line);
  }
  // A byte that is not UTF-8 costs its character, not the whole message: the JSON library
  // refuses such a string, so the byte becomes '?' first, as every text of the panel would.
  std::string text(message);
  if (ReplaceNonUtf8(text)) Report(Problem::NotUtf8);
  const json value = json::parse(text, nullptr, false);
  if (value.is_discarded() || !value.is_object()) {
    Report(Problem::NotObject);
    return;
  }
  const json* id = Member(value, "id");
  if (id == nullptr) {
    const std::string method = Text(Member(value, "method"));
    const json* params = Member(value, "params");
    if (!method.empty() && params != nullptr) OnNotification(method, *params);
    return;
  }
  const auto it = pending_.find(Int(id, -1));
  if (it == pending_.end()) return;  // an answer to a request forgotten since
  const Pending pending = it->second;
  pending_.erase(it);
  if (pending.what == Asked::Window) windowAsked_ = false;
  if (pending.what == Asked::Players) {
    playersAsked_ = false;
    if (playersAgain_) {
      playersAgain_ = false;
      AskPlayers();
    }
  }
  if (const json* result = Member(value, "result")) {
    OnAnswer(pending, *result);
    return;
  }
  // An error: a player asked about has ended meanwhile, most likely; ask which ones remain.
  if (pending.what == Asked::Properties || pending.what == Asked::Item)
    AskPlayers();
  else
    Report(Problem::Refused, Text(Path(value, {"error", "message"})));
}

void KodiBridge::OnNotification(const std::string& method, const json& params) {
  const json* data = Member(params, "data");
  if (data == nullptr) data = &params;
  const int64_t player = Int(Path(*data, {"player", "playerid"}), -1);
  double speed = 0;
  if (method == "Player.OnPlay" || method == "Player.OnAVStart") {
    if (player < 0) return;
    if (players_.count(player) == 0)
      AskPlayers();  // learns its type first
    else
      AskItem(player);
  } else if (method == "Player.OnPause") {
    // Its exact time comes with the next poll: the core sends a paused player's time when it
    // differs from the one shown.
    source_.PlayStateChanged(player, PlayState::Paused);
  } else if (method == "Player.OnResume") {
    source_.PlayStateChanged(player, PlayState::Playing);
  } else if (method == "Player.OnSpeedChanged") {
    if (Real(Path(*data, {"player", "speed"}), speed))
      source_.PlayStateChanged(player, PlayStateOfSpeed(speed));
  } else if (method == "Player.OnSeek") {
    const int64_t ms = Milliseconds(Path(*data, {"player", "time"}));
    if (ms >= 0) source_.PositionChanged(player, ms, true);
  } else if (method == "Player.OnStop") {
    // Says no player: the active players tell which one ended.
    AskPlayers();
  } else if (method == "Application.OnVolumeChanged") {
    double volume = 0;
    if (Real(Member(*data, "volume"), volume)) {
      const json* muted = Member(*data, "muted");
      source_.VolumeChanged(volume, muted != nullptr && muted->is_boolean() && muted->get<bool>());
    }
  } else if (method == "System.OnQuit") {
    players_.clear();
    source_.ApplicationEnded();
  } else if (method == "System.OnSleep") {
    source_.Sleep();
  } else if (method == "System.OnWake") {
    source_.Wake();
  }
  // GUI.OnScreensaverActivated/Deactivated: the shell sent nothing for its screensaver, and the
  // window poll sees the menu again afterwards.
}

void KodiBridge::OnAnswer(const Pending& pending, const json& result) {
  switch (pending.what) {
    case Asked::Window: {
      const Menu menu = MenuOfKodiWindow(Int(Path(result, {"currentwindow", "id"}), -1));
      if (!source_.applicationRunning())
        source_.ApplicationStarted(menu);
      else
        source_.MenuChanged(menu);
      break;
    }
    case Asked::Volume: {
      double volume = 0;
      if (Real(Member(result, "volume"), volume)) {
        const json* muted = Member(result, "muted");
        source_.VolumeChanged(volume,
                              muted != nullptr && muted->is_boolean() && muted->get<bool>());
      }
      break;
    }
    case Asked::Players: {
      if (!result.is_array()) break;
      std::set<int64_t> active;
      for (const json& entry : result) {
        const int64_t id = Int(Member(entry, "playerid"), -1);
        if (id < 0) continue;
        active.insert(id);
        KnownPlayer& known = players_[id];
        known.type = Text(Member(entry, "type"));
        if (known.itemKey.empty() && !known.itemAsked) {
          known.itemAsked = true;
          AskItem(id);
        }
      }
      for (auto it = players_.begin(); it != players_.end();) {
        if (active.count(it->first) != 0) {
          ++it;
          continue;
        }
        source_.PlayerEnded(it->first);
        it = players_.erase(it);
      }
      break;
    }
    case Asked::Item: {
      const auto known = players_.find(pending.player);
      const json* item = Member(result, "item");
      if (known == players_.end() || item == nullptr || !item->is_object()) break;
      known->second.itemAsked = false;
      const std::string key = Text(Member(*item, "type")) + '\n' + Text(Member(*item, "file")) +
                              '\n' + Text(Member(*item, "label")) + '\n' +
                              std::to_string(Int(Member(*item, "id"), -1));
      if (key == known->second.itemKey) break;  // OnPlay and OnAVStart of the same item
      known->second.itemKey = key;
      Item started;
      started.player = "Kodi";
      started.kind = KindOf(*item, known->second.type);
      started.title = Text(Member(*item, "title"));
      if (started.title.empty()) started.title = Text(Member(*item, "label"));
      // When the title has nothing the panel can show: the file's name, else the artist.
      started.fallback = FileName(Text(Member(*item, "file")));
      if (started.fallback.empty()) started.fallback = Text(Member(*item, "artist"));
      started.artist = Text(Member(*item, "artist"));
      started.number = started.kind == ItemKind::TvChannel || started.kind == ItemKind::RadioChannel
                           ? Int(Member(*item, "channelnumber"), 0)
                           : Int(Member(*item, "track"), 0);
      // Its position comes with the next poll: asked at once, Kodi may still give the position
      // the previous item had.
      source_.ItemStarted(pending.player, started);
      break;
    }
    case Asked::Properties: {
      double speed = 0;
      if (Real(Member(result, "speed"), speed))
        source_.PlayStateChanged(pending.player, PlayStateOfSpeed(speed));
      const int64_t ms = Milliseconds(Member(result, "time"));
      if (ms >= 0) source_.PositionChanged(pending.player, ms);
      break;
    }
  }
}

bool ReplayCapture(std::string_view capture, KodiBridge& bridge, std::string& error) {
  size_t lineNumber = 0;
  while (!capture.empty()) {
    const size_t end = capture.find('\n');
    std::string_view line = capture.substr(0, end);
    capture.remove_prefix(end == std::string_view::npos ? capture.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    if (line == "connected") {
      bridge.Connected();
    } else if (line == "poll") {
      bridge.Poll();
    } else if (line == "window") {
      bridge.LookAtWindow();
    } else if (line == "disconnected") {
      bridge.Disconnected();
    } else if (line.substr(0, 2) == "< ") {
      bridge.Handle(line.substr(2));
    } else {
      error = "line " + std::to_string(lineNumber) + ": neither a step nor a message";
      return false;
    }
  }
  return true;
}

}  // namespace lumora::sources
