#include "scenario/event_names.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "base/text_quote.h"

namespace lumora::scenario {

namespace {

// Longest event name, for the columns of the table.
constexpr size_t kNameColumn = 20;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool ContainsIgnoringCase(std::string_view whole, std::string_view part) {
  if (part.size() > whole.size()) return false;
  for (size_t at = 0; at + part.size() <= whole.size(); ++at) {
    if (EqualIgnoringCase(whole.substr(at, part.size()), part)) return true;
  }
  return false;
}

// Edits (insert, delete, replace, swap of neighbours) between two names, ignoring case.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) &&
          Lower(a[i - 2]) == Lower(b[j - 1])) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    before.swap(previous);
    previous.swap(current);
  }
  return previous[b.size()];
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The longest text the agent shows or stores whole; the record's 33rd byte is its terminator.
constexpr size_t kTextMax = 32;

// Appends texts one after the other (no temporaries joined with +).
void Append(std::string& out, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts)
    out += part;
}

std::string Example(const EventInfo& info) {
  std::string text;
  // An example with blanks is quoted, as it is typed.
  const std::string_view quote = info.example.find(' ') == std::string_view::npos ? "" : "\"";
  if (!info.example.empty()) Append(text, {" (such as ", quote, info.example, quote, ")"});
  return text;
}

}  // namespace

const EventInfo* FindEventByNameIgnoringCase(std::string_view name) {
  for (const EventInfo& info : kEvents) {
    if (EqualIgnoringCase(name, info.name)) return &info;
  }
  return nullptr;
}

std::vector<std::string_view> SuggestEventNames(std::string_view name) {
  // A name is close when a few edits make it (about one in three of its letters), or when it is
  // a good part of the name ("LiveTv" in "LiveTvStarted").
  const size_t allowed = std::max<size_t>(2, name.size() / 3);
  std::vector<std::pair<size_t, std::string_view>> close;
  for (const EventInfo& info : kEvents) {
    size_t distance = EditDistance(name, info.name);
    const bool part = name.size() >= 4 && ContainsIgnoringCase(info.name, name);
    if (distance > allowed && part) distance = info.name.size() - name.size();
    if (distance <= allowed || part) close.emplace_back(distance, info.name);
  }
  std::stable_sort(close.begin(), close.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string_view> names;
  for (size_t i = 0; i < close.size() && i < 3; ++i)
    names.push_back(close[i].second);
  return names;
}

std::string DidYouMean(std::string_view name) {
  const std::vector<std::string_view> names = SuggestEventNames(name);
  if (names.empty()) return "";
  std::string text = " (did you mean ";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text + "?)";
}

bool PayloadFitsFormat(const EventInfo& info, std::string_view payload, std::string& reason) {
  bool fits = true;
  switch (info.payload) {
    case PayloadKind::None:
      fits = payload.empty();
      break;
    case PayloadKind::Number:
      fits = AllDigits(payload);
      // The volume level is one byte on the panel: a larger number would wrap round silently.
      if (fits && info.code == EventCode::Level)
        fits = payload.size() <= 3 && std::stoi(std::string(payload)) <= 255;
      break;
    case PayloadKind::PlayTime:
      fits = payload.size() == 6 && AllDigits(payload);
      break;
    case PayloadKind::Frequency:
      fits = (payload.size() == 8 || payload.size() == 9) && AllDigits(payload);
      break;
    case PayloadKind::Text:
      fits = payload.size() <= kTextMax;
      break;
  }
  if (fits) return true;
  const std::string name(info.name);
  reason.clear();
  if (info.payload == PayloadKind::None) {
    Append(reason, {name, " takes no payload, not ", QuoteDisplayText(payload)});
  } else if (info.payload == PayloadKind::Text) {
    Append(reason,
           {name, " wants ", info.format, ", not ", std::to_string(payload.size()), " bytes"});
  } else {
    Append(reason,
           {name, " wants ", info.format, Example(info), ", not ", QuoteDisplayText(payload)});
  }
  return false;
}

std::string EventTable() {
  std::string table = "CODE  NAME                PAYLOAD\n";
  char line[48];
  for (const EventInfo& info : kEvents) {
    const std::string name(info.name);
    std::snprintf(line, sizeof line, "%4u  %-*s", static_cast<unsigned>(ToCode(info.code)),
                  static_cast<int>(kNameColumn), name.c_str());
    table += line;
    if (info.payload == PayloadKind::None) {
      table += "-";
    } else {
      table += info.format;
      table += Example(info);
    }
    table += '\n';
  }
  return table;
}

std::string EventSummary() {
  std::string text = "Events without a payload:\n ";
  size_t column = 1;
  for (const EventInfo& info : kEvents) {
    if (info.payload != PayloadKind::None) continue;
    if (column + 1 + info.name.size() > 92) {
      text += "\n ";
      column = 1;
    }
    text += ' ';
    text += info.name;
    column += 1 + info.name.size();
  }
  text += "\nEvents with a payload (TEXT):\n";
  char line[48];
  for (const EventInfo& info : kEvents) {
    if (info.payload == PayloadKind::None) continue;
    const std::string name(info.name);
    std::snprintf(line, sizeof line, "  %-*s", static_cast<int>(kNameColumn - 4), name.c_str());
    text += line;
    text += info.format;
    text += Example(info);
    text += '\n';
  }
  return text;
}

std::string EventsMarkdown() {
  std::string text =
      "# Media State Events\n"
      "\n"
      "<!-- Written by lumora-event-doc from the event catalogue (base/event_catalogue.cpp);\n"
      "     the test events_documents keeps the two equal. Do not edit by hand. -->\n"
      "\n"
      "Every event the media-state event source sends the agent, by code. The senders\n"
      "(`lumora send`, `lumora-send.exe`) take an event by its code or its name in any case\n"
      "(`lumora send 1 navhome`); a scenario of `lumora-replay` takes the code or the name as\n"
      "written here. `lumora send --list` prints the same table.\n"
      "\n"
      "The payload is the event's text field: at most 33 bytes of Windows-1252, the panel's\n"
      "character set. The senders convert what is typed in a UTF-8 terminal to it and refuse a\n"
      "character it cannot hold; `\\xHH` sends any byte. A payload that does not look like its\n"
      "event's format is sent as typed with a warning (`--strict` refuses it), because the agent\n"
      "takes whatever the event source sends.\n"
      "\n"
      "| Code | Name | Payload | Example |\n"
      "|---:|---|---|---|\n";
  for (const EventInfo& info : kEvents) {
    Append(text, {"| ", std::to_string(ToCode(info.code)), " | `", info.name, "` | ", info.format,
                  " | "});
    if (!info.example.empty()) Append(text, {"`", info.example, "`"});
    text += " |\n";
  }
  return text;
}

std::string EventsManSection() {
  std::string text;
  for (const EventInfo& info : kEvents) {
    Append(text, {".TP\n.BR ", info.name, " \" (", std::to_string(ToCode(info.code)), ")\"\n"});
    text += info.payload == PayloadKind::None ? std::string_view("no payload") : info.format;
    if (!info.example.empty()) Append(text, {"; for example \\fB", info.example, "\\fR"});
    text += '\n';
  }
  return text;
}

}  // namespace lumora::scenario
