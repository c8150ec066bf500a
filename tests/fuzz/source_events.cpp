#include "tests/fuzz/source_events.h"

#include <string>
#include <string_view>

#include "base/event_catalogue.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

namespace {

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

using sources::SourceEvent;

bool CheckingSink::Deliver(const SourceEvent& event) {
  const EventInfo* info = FindEvent(ToCode(event.code));
  if (info == nullptr)
    InvariantViolated("%s: event code %u is not in the catalogue", source_, ToCode(event.code));
  if (event.length > sources::kTitleMax || event.text[event.length] != '\0')
    InvariantViolated("%s: %s text of %zu characters", source_, std::string(info->name).c_str(),
                      event.length);
  const std::string_view text = event.Text();
  for (const char c : text)
    if (c == '\0' || static_cast<unsigned char>(c) < 0x20)
      InvariantViolated("%s: %s text holds a control character", source_,
                        std::string(info->name).c_str());
  switch (info->payload) {
    case PayloadKind::None:
      if (!text.empty())
        InvariantViolated("%s: %s carries a text", source_, std::string(info->name).c_str());
      break;
    case PayloadKind::PlayTime:
      if (text.size() != 6 || !AllDigits(text))
        InvariantViolated("%s: play time '%.*s'", source_, static_cast<int>(text.size()),
                          text.data());
      break;
    case PayloadKind::Number:
      if (!AllDigits(text))
        InvariantViolated("%s: %s number '%.*s'", source_, std::string(info->name).c_str(),
                          static_cast<int>(text.size()), text.data());
      if (event.code == EventCode::Level && std::stoi(std::string(text)) > 255)
        InvariantViolated("%s: level %.*s above 255", source_, static_cast<int>(text.size()),
                          text.data());
      break;
    case PayloadKind::Text:
      if (text.empty() || text.front() == ' ' || text.back() == ' ')
        InvariantViolated("%s: %s text empty or with blanks at an end", source_,
                          std::string(info->name).c_str());
      break;
    case PayloadKind::Frequency:
      break;
  }
  if (event.sessionId < 1) InvariantViolated("%s: session %d", source_, event.sessionId);
  if (event.code == EventCode::SessionOpened) {
    if (open_.count(event.sessionId) != 0)
      InvariantViolated("%s: session %d opened twice", source_, event.sessionId);
    if (event.sessionId != sources::kShellSession && open_.count(sources::kShellSession) == 0)
      InvariantViolated("%s: session %d opened before the shell", source_, event.sessionId);
    open_.insert(event.sessionId);
    return true;
  }
  if (open_.count(event.sessionId) == 0)
    InvariantViolated("%s: %s for session %d, which is not open", source_,
                      std::string(info->name).c_str(), event.sessionId);
  if (event.code == EventCode::SessionClosed) {
    if (event.sessionId == sources::kShellSession && open_.size() != 1)
      InvariantViolated("%s: the shell closed before its %zu media sessions", source_,
                        open_.size() - 1);
    open_.erase(event.sessionId);
  }
  return true;
}

}  // namespace lumora::fuzz
