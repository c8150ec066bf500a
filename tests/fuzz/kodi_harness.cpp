// The Kodi harness: any bytes as the stream Kodi's JSON-RPC port sends the bridge, cut into
// reads of varying size, with the bridge's polls between them, then the connection lost. What
// the bridge hands the agent must always be something the agent can take, in an order a
// media-state event source keeps: every event a code of the catalogue with a text field of at
// most 32 characters in its payload's format; the shell session opened first; no event for a
// session before it is opened or after it is closed; and nothing left open once Kodi is gone.
#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include "base/event_catalogue.h"
#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

namespace {

using sources::SourceEvent;

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

class CheckingSink : public sources::EventSink {
 public:
  bool Deliver(const SourceEvent& event) override {
    const EventInfo* info = FindEvent(ToCode(event.code));
    if (info == nullptr)
      InvariantViolated("kodi: event code %u is not in the catalogue", ToCode(event.code));
    if (event.length > sources::kTitleMax || event.text[event.length] != '\0')
      InvariantViolated("kodi: %s text of %zu characters", std::string(info->name).c_str(),
                        event.length);
    const std::string_view text = event.Text();
    for (const char c : text)
      if (c == '\0' || static_cast<unsigned char>(c) < 0x20)
        InvariantViolated("kodi: %s text holds a control character",
                          std::string(info->name).c_str());
    switch (info->payload) {
      case PayloadKind::None:
        if (!text.empty())
          InvariantViolated("kodi: %s carries a text", std::string(info->name).c_str());
        break;
      case PayloadKind::PlayTime:
        if (text.size() != 6 || !AllDigits(text))
          InvariantViolated("kodi: play time '%.*s'", static_cast<int>(text.size()), text.data());
        break;
      case PayloadKind::Number:
        if (!AllDigits(text))
          InvariantViolated("kodi: %s number '%.*s'", std::string(info->name).c_str(),
                            static_cast<int>(text.size()), text.data());
        if (event.code == EventCode::Level && std::stoi(std::string(text)) > 255)
          InvariantViolated("kodi: level %.*s above 255", static_cast<int>(text.size()),
                            text.data());
        break;
      case PayloadKind::Text:
        if (text.empty() || text.front() == ' ' || text.back() == ' ')
          InvariantViolated("kodi: %s text empty or with blanks at an end",
                            std::string(info->name).c_str());
        break;
      case PayloadKind::Frequency:
        break;
    }
    if (event.sessionId < 1) InvariantViolated("kodi: session %d", event.sessionId);
    if (event.code == EventCode::SessionOpened) {
      if (open_.count(event.sessionId) != 0)
        InvariantViolated("kodi: session %d opened twice", event.sessionId);
      if (event.sessionId != sources::kShellSession && open_.count(sources::kShellSession) == 0)
        InvariantViolated("kodi: session %d opened before the shell", event.sessionId);
      open_.insert(event.sessionId);
      return true;
    }
    if (open_.count(event.sessionId) == 0)
      InvariantViolated("kodi: %s for session %d, which is not open",
                        std::string(info->name).c_str(), event.sessionId);
    if (event.code == EventCode::SessionClosed) {
      if (event.sessionId == sources::kShellSession && open_.size() != 1)
        InvariantViolated("kodi: the shell closed before its %zu media sessions", open_.size() - 1);
      open_.erase(event.sessionId);
    }
    return true;
  }
  size_t openSessions() const { return open_.size(); }

 private:
  std::set<int32_t> open_;
};

}  // namespace

int FuzzKodi(const uint8_t* data, size_t size) {
  CheckingSink sink;
  int64_t now = 0;
  sources::MediaSource core(sink, [&now] { return now; });
  sources::SourceApp source(core, "Kodi");
  sources::KodiBridge bridge(
      source, [](const std::string&) {}, [](const std::string&) {});
  bridge.Connected();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Reads of 1 to 97 bytes, their sizes taken from the input itself; a poll after every third.
  size_t at = 0;
  for (int read = 0; at < bytes.size(); ++read) {
    const size_t length = 1 + static_cast<uint8_t>(bytes[at]) % 97;
    if (!bridge.Receive(bytes.substr(at, length))) {
      bridge.Disconnected();
      bridge.Connected();
    }
    at += length;
    // Time passes between reads: the core's play times and menu holds run on.
    now += 250;
    core.Tick();
    if (read % 3 == 2) bridge.Poll();
  }
  // Whole messages as the tests hand them over: the input, once more, as one message.
  bridge.Handle(bytes);
  bridge.Disconnected();
  if (sink.openSessions() != 0)
    InvariantViolated("kodi: %zu sessions left open after Kodi went", sink.openSessions());
  return 0;
}

}  // namespace lumora::fuzz
