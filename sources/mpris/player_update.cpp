#include "sources/mpris/player_update.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/text_quote.h"

namespace lumora::sources {

namespace {

struct KindName {
  PlayerUpdate::Kind kind;
  std::string_view name;
};
constexpr KindName kKindNames[] = {
    {PlayerUpdate::Kind::Appeared, "appeared"}, {PlayerUpdate::Kind::Properties, "props"},
    {PlayerUpdate::Kind::Position, "position"}, {PlayerUpdate::Kind::Seeked, "seeked"},
    {PlayerUpdate::Kind::Vanished, "vanished"},
};

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// Splits a line at blanks outside double quotes.
bool Split(std::string_view line, std::vector<std::string_view>& words, std::string& error) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    const size_t start = i;
    bool quoted = false;
    while (i < line.size() && (quoted || line[i] != ' ')) {
      if (line[i] == '\\' && quoted) {
        ++i;
      } else if (line[i] == '"') {
        quoted = !quoted;
      }
      ++i;
    }
    if (quoted) {
      error = "a quote that does not end";
      return false;
    }
    words.push_back(line.substr(start, i - start));
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unquote(std::string_view text, std::string& out) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
  out.clear();
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const char c = text[++i];
    if (c == '"' || c == '\\') {
      out += c;
    } else if (c == 'x' && i + 3 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

bool ToInt(std::string_view text, int64_t& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} && end == text.data() + text.size();
}

bool ToDouble(std::string_view text, double& value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(copy.c_str(), &end);
  return !copy.empty() && errno == 0 && end == copy.c_str() + copy.size();
}

}  // namespace

void PlayerState::Apply(const PlayerUpdate& update) {
  if (update.atMs >= 0) lastAtMs = update.atMs;
  switch (update.kind) {
    case PlayerUpdate::Kind::Properties:
      if (update.hasStatus) status = update.status;
      if (update.hasRate) rate = update.rate;
      if (update.hasVolume) volume = update.volume;
      if (update.hasMetadata && !(update.metadata == metadata)) {
        metadata = update.metadata;
        metadataAtMs = update.atMs;
      }
      break;
    case PlayerUpdate::Kind::Position:
    case PlayerUpdate::Kind::Seeked:
      positionUs = update.positionUs;
      break;
    case PlayerUpdate::Kind::Appeared:
    case PlayerUpdate::Kind::Vanished:
      break;
  }
}

bool PlayerState::ReadyToTell() const {
  if (metadata.empty() || (status != "Playing" && status != "Paused")) return false;
  constexpr std::string_view kFile = "file://";
  std::string scheme = metadata.url.substr(0, kFile.size());
  for (char& c : scheme)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  // A local file whose length is not known yet is one the player is still opening. (A stream
  // has no length and is told at once.)
  if (metadata.lengthUs <= 0 && scheme == kFile) return false;
  return metadataAtMs < 0 || lastAtMs - metadataAtMs >= kMetadataSettleMs;
}

namespace {
// A length beyond a year is no length.
constexpr int64_t kLongestUs = int64_t{366} * 24 * 3600 * 1000000;
}  // namespace

int64_t PositionUnit::Convert(int64_t raw) const {
  if (scale_ == 0) return raw / 1000;
  const int64_t limit = INT64_MAX / scale_;
  return raw > limit ? INT64_MAX : raw < -limit ? INT64_MIN : raw * scale_;
}

int64_t PositionUnit::Microseconds(int64_t raw, int64_t atMs, int64_t lengthUs, bool seeked) {
  if (lengthUs > kLongestUs) lengthUs = 0;                 // nonsense: as if not known
  const int64_t end = lengthUs + lengthUs / 10 + 1000000;  // the length, with room to spare
  if (!decided_ && lengthUs > 0 && raw > end && raw / 1000 <= end) {
    scale_ = 0;  // beyond the end in microseconds, within it in nanoseconds
    decided_ = true;
  }
  if (!decided_ && !seeked && lastAtMs_ >= 0 && atMs - lastAtMs_ >= 500 && raw > lastRaw_) {
    // Units the position ran per millisecond: about 1000 for microseconds, 1 for milliseconds,
    // 0.001 for seconds (a third to three times that).
    const double rate = (static_cast<double>(raw) - static_cast<double>(lastRaw_)) /
                        static_cast<double>(atMs - lastAtMs_);
    int64_t unit = 0;
    for (const int64_t scale : {int64_t{1}, int64_t{1000}, int64_t{1000000}}) {
      const double expected = 1000.0 / static_cast<double>(scale);
      if (rate >= expected / 3 && rate <= expected * 3) unit = scale;
    }
    // A finer unit only where the length leaves room for the position in it.
    if (unit > 1 && lengthUs > 0 && raw > end / unit) unit = 0;
    if (unit == 1) {
      decided_ = true;  // microseconds, as due
    } else if (unit != 0) {
      agreeing_ = unit == candidate_ ? agreeing_ + 1 : 1;
      candidate_ = unit;
      if (agreeing_ >= 2) {
        scale_ = unit;
        decided_ = true;
      }
    } else {
      agreeing_ = 0;
    }
  }
  lastRaw_ = seeked ? -1 : raw;
  lastAtMs_ = seeked ? -1 : atMs;
  return Convert(raw);
}

std::string FormatUpdate(const PlayerUpdate& update) {
  std::string line;
  for (const KindName& k : kKindNames)
    if (k.kind == update.kind) line = k.name;
  line += ' ';
  line += update.player;
  switch (update.kind) {
    case PlayerUpdate::Kind::Properties: {
      if (update.hasStatus) line += " status=" + update.status;
      if (update.hasRate) line += " rate=" + FormatNumber(update.rate);
      if (update.hasVolume) line += " volume=" + FormatNumber(update.volume);
      if (update.hasMetadata) {
        const TrackMetadata& m = update.metadata;
        line += " meta trackid=" + QuoteUtf8Text(m.trackId) + " title=" + QuoteUtf8Text(m.title) +
                " artist=" + QuoteUtf8Text(m.artist) + " album=" + QuoteUtf8Text(m.album) +
                " track=" + std::to_string(m.trackNumber) +
                " length=" + std::to_string(m.lengthUs) + " url=" + QuoteUtf8Text(m.url);
      }
      break;
    }
    case PlayerUpdate::Kind::Position:
    case PlayerUpdate::Kind::Seeked:
      line += ' ' + std::to_string(update.positionUs);
      break;
    case PlayerUpdate::Kind::Appeared:
    case PlayerUpdate::Kind::Vanished:
      break;
  }
  if (update.atMs >= 0) line += " at=" + std::to_string(update.atMs);
  return line;
}

bool ParseUpdate(std::string_view line, PlayerUpdate& update, std::string& error) {
  std::vector<std::string_view> words;
  if (!Split(line, words, error)) return false;
  if (words.size() < 2) {
    error = "an update names what happened and the player";
    return false;
  }
  update = PlayerUpdate{};
  bool known = false;
  for (const KindName& k : kKindNames) {
    if (k.name == words[0]) {
      update.kind = k.kind;
      known = true;
    }
  }
  if (!known) {
    error = "unknown update '" + std::string(words[0]) + "'";
    return false;
  }
  update.player = std::string(words[1]);
  // The time it was read, last on any line.
  if (words.size() > 2 && words.back().substr(0, 3) == "at=") {
    if (!ToInt(words.back().substr(3), update.atMs) || update.atMs < 0) {
      error = "bad time: " + std::string(words.back());
      return false;
    }
    words.pop_back();
  }
  const auto is = [&](PlayerUpdate::Kind kind) { return update.kind == kind; };
  if (is(PlayerUpdate::Kind::Appeared) || is(PlayerUpdate::Kind::Vanished)) {
    if (words.size() == 2) return true;
    error = "nothing may follow the player's name";
    return false;
  }
  if (is(PlayerUpdate::Kind::Position) || is(PlayerUpdate::Kind::Seeked)) {
    if (words.size() == 3 && ToInt(words[2], update.positionUs)) return true;
    error = "a position in microseconds must follow the player's name";
    return false;
  }
  TrackMetadata& m = update.metadata;
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word == "meta") {
      update.hasMetadata = true;
      continue;
    }
    const size_t equals = word.find('=');
    if (equals == std::string_view::npos) {
      error = "'" + std::string(word) + "' is not NAME=VALUE";
      return false;
    }
    const std::string_view key = word.substr(0, equals);
    const std::string_view value = word.substr(equals + 1);
    // The item's fields belong to its metadata: given before `meta` they would be read and then
    // lost, since an update without metadata leaves the player's as it was.
    const bool metadataKey = key == "trackid" || key == "title" || key == "artist" ||
                             key == "album" || key == "url" || key == "track" || key == "length";
    if (metadataKey && !update.hasMetadata) {
      error = "'" + std::string(key) + "' is part of the metadata and comes after meta";
      return false;
    }
    bool ok = true;
    if (key == "status") {
      update.hasStatus = true;
      update.status = std::string(value);
    } else if (key == "rate") {
      update.hasRate = true;
      ok = ToDouble(value, update.rate);
    } else if (key == "volume") {
      update.hasVolume = true;
      ok = ToDouble(value, update.volume);
    } else if (key == "trackid") {
      ok = Unquote(value, m.trackId);
    } else if (key == "title") {
      ok = Unquote(value, m.title);
    } else if (key == "artist") {
      ok = Unquote(value, m.artist);
    } else if (key == "album") {
      ok = Unquote(value, m.album);
    } else if (key == "url") {
      ok = Unquote(value, m.url);
    } else if (key == "track") {
      ok = ToInt(value, m.trackNumber);
    } else if (key == "length") {
      ok = ToInt(value, m.lengthUs);
    } else {
      error = "unknown property '" + std::string(key) + "'";
      return false;
    }
    if (!ok) {
      error = "bad value for " + std::string(key) + ": " + std::string(value);
      return false;
    }
  }
  return true;
}

}  // namespace lumora::sources
