#include "sources/media_sessions/session_report.h"

#include <cinttypes>
#include <cstdio>

#include "base/calendar.h"

namespace lumora::sources {

namespace {

// H:MM:SS.mmm of a duration in milliseconds (negative with a minus).
std::string Duration(int64_t ms) {
  const char* sign = ms < 0 ? "-" : "";
  if (ms < 0) ms = -ms;
  char text[40];
  std::snprintf(text, sizeof text, "%s%" PRId64 ":%02d:%02d.%03d", sign, ms / 3600000,
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000));
  return text;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

const char* StatusName(SessionStatus status) {
  switch (status) {
    case SessionStatus::Closed:
      return "Closed";
    case SessionStatus::Opened:
      return "Opened";
    case SessionStatus::Changing:
      return "Changing";
    case SessionStatus::Stopped:
      return "Stopped";
    case SessionStatus::Playing:
      return "Playing";
    case SessionStatus::Paused:
      return "Paused";
  }
  return "?";
}

const char* PlaybackTypeName(PlaybackType type) {
  switch (type) {
    case PlaybackType::Unknown:
      return "Unknown";
    case PlaybackType::Music:
      return "Music";
    case PlaybackType::Video:
      return "Video";
    case PlaybackType::Image:
      return "Image";
  }
  return "?";
}

std::string DescribeSession(const SessionReport& session) {
  std::string line = session.appId.empty() ? std::string("(no application id)") : session.appId;
  line += std::string(" status=") + StatusName(session.status) +
          " type=" + PlaybackTypeName(session.type);
  char rate[32];
  std::snprintf(rate, sizeof rate, " rate=%g", session.rate);
  line += rate;
  if (session.hasMedia) {
    line += " title=" + Quoted(session.title) + " artist=" + Quoted(session.artist) +
            " album=" + Quoted(session.albumTitle) +
            " track=" + std::to_string(session.trackNumber);
  } else {
    line += " (no media properties)";
  }
  line += " position=" + Duration(session.positionMs - session.startMs) +
          " end=" + Duration(session.endMs - session.startMs);
  if (session.updatedUnixMs == 0) {
    line += " updated=never";
  } else {
    int64_t ms = session.updatedUnixMs;
    int64_t days = ms / 86400000;
    int64_t inDay = ms % 86400000;
    if (inDay < 0) {
      inDay += 86400000;
      --days;
    }
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, " updated=%04" PRId64 "-%02u-%02u %02d:%02d:%02d.%03d UTC",
                  year, month, day, static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    line += text;
  }
  return line;
}

}  // namespace lumora::sources
