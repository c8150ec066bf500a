#include "sources/mpris/player_update.h"

#include <cerrno>
#include <charconv>
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
  switch (update.kind) {
    case PlayerUpdate::Kind::Properties:
      if (update.hasStatus) status = update.status;
      if (update.hasRate) rate = update.rate;
      if (update.hasVolume) volume = update.volume;
      if (update.hasMetadata) metadata = update.metadata;
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
        line += " meta trackid=" + QuoteText(m.trackId) + " title=" + QuoteText(m.title) +
                " artist=" + QuoteText(m.artist) + " album=" + QuoteText(m.album) +
                " track=" + std::to_string(m.trackNumber) +
                " length=" + std::to_string(m.lengthUs) + " url=" + QuoteText(m.url);
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
