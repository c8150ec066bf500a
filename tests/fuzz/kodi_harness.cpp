// The Kodi harness: any bytes as the stream Kodi's JSON-RPC port sends the bridge, cut into
// reads of varying size, with the bridge's polls between them, then the connection lost. What
// the bridge hands the agent must always be something the agent can take, in an order a
// media-state event source keeps (source_events.h), its notes about what it could not use stay
// within one per kind and a count now and then, and nothing is left open once Kodi is gone.
#include <string>
#include <string_view>

#include "sources/kodi/kodi_bridge.h"
#include "sources/media_source.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/invariants.h"
#include "tests/fuzz/source_events.h"

namespace lumora::fuzz {

int FuzzKodi(const uint8_t* data, size_t size) {
  CheckingSink sink("kodi");
  int64_t now = 0;
  sources::MediaSource core(sink, [&now] { return now; });
  sources::SourceApp source(core, "Kodi");
  // The notes about what Kodi sent that the bridge could not use are bounded per connection:
  // one line per kind (five, and the message over 1 MiB that ends it), then each kind's count
  // at most once every kProblemCountPolls polls and once at the end.
  size_t notes = 0;
  int polls = 0;
  const auto checkNotes = [&] {
    const size_t bound = 6 + 5 * (static_cast<size_t>(polls / sources::kProblemCountPolls) + 1);
    if (notes > bound)
      InvariantViolated("kodi: %zu notes on a connection of %d polls, more than %zu", notes, polls,
                        bound);
  };
  sources::KodiBridge bridge(
      source, [](const std::string&) {}, [&notes](const std::string&) { ++notes; });
  bridge.Connected();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Reads of 1 to 97 bytes, their sizes taken from the input itself; a poll after every third.
  size_t at = 0;
  for (int read = 0; at < bytes.size(); ++read) {
    const size_t length = 1 + static_cast<uint8_t>(bytes[at]) % 97;
    if (!bridge.Receive(bytes.substr(at, length))) {
      bridge.Disconnected();
      checkNotes();
      notes = 0;
      polls = 0;
      bridge.Connected();
    }
    at += length;
    // Time passes between reads: the core's play times and menu holds run on.
    now += 250;
    core.Tick();
    if (read % 3 == 2) {
      bridge.Poll();
      ++polls;
    }
    checkNotes();
  }
  // Whole messages as the tests hand them over: the input, once more, as one message.
  bridge.Handle(bytes);
  bridge.Disconnected();
  checkNotes();
  if (sink.openSessions() != 0)
    InvariantViolated("kodi: %zu sessions left open after Kodi went", sink.openSessions());
  return 0;
}

}  // namespace lumora::fuzz
