// The event catalogue as the user meets it: names in any case with "did you mean" suggestions,
// the check of a payload against its event's format, and the catalogue written out as the
// senders' table (--list), the compact form of their --help, and the document docs/events.md.
// Everything here reads the catalogue (base/event_catalogue.h); no name or format is written
// twice. The scenario language itself keeps the exact names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/event_catalogue.h"

namespace lumora::scenario {

// The entry of an event name written in any case ("navhome", "NAVHOME"); null when none.
const EventInfo* FindEventByNameIgnoringCase(std::string_view name);

// At most three catalogue names close to a name that is none ("NavHme", "LiveTv"), closest
// first; empty when nothing is close.
std::vector<std::string_view> SuggestEventNames(std::string_view name);

// " (did you mean NavHome?)", " (did you mean Play or Pause?)", or "" when nothing is close.
std::string DidYouMean(std::string_view name);

// Whether a payload (the text field's bytes) looks like its event's format. When it does not,
// reason says what the event wants and what was given, e.g. "PlayTime wants elapsed play time
// as six digits HHMMSS (such as 000042), not \"1:23\"".
bool PayloadFitsFormat(const EventInfo& info, std::string_view payload, std::string& reason);

// Every event, one a line: code, name, payload format and an example (the senders' --list).
std::string EventTable();

// The compact form for --help: the names of the events without a payload, then each event with
// a payload, its format and an example.
std::string EventSummary();

// docs/events.md: the catalogue as a document.
std::string EventsMarkdown();

// The events section of the sender's manual page (docs/man/lumora-send.1), in man(7) roff.
std::string EventsManSection();

}  // namespace lumora::scenario
