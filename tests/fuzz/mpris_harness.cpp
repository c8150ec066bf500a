// The desktop players' harness: any bytes as lines of player updates, the form `lumora mpris -v`
// writes and the live tests' fixtures hold (sources/mpris/player_update.h), through the update
// parser, the players' state and the adapter into the translation core. Every line that reads
// as an update must read back the same from the line FormatUpdate writes of it (so a fixture
// says what was seen); what the adapter hands the agent must be something the agent can take, in
// an order a media-state event source keeps (source_events.h); the players it asks positions of
// are players it knows; and once every player has gone nothing is left open.
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "sources/media_source.h"
#include "sources/mpris/mpris_adapter.h"
#include "sources/mpris/player_update.h"
#include "tests/fuzz/harnesses.h"
#include "tests/fuzz/invariants.h"
#include "tests/fuzz/source_events.h"

namespace lumora::fuzz {

namespace {

using sources::PlayerUpdate;

// The same number, NaN included (a line may say rate=nan).
bool SameNumber(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

bool SameUpdate(const PlayerUpdate& a, const PlayerUpdate& b) {
  return a.kind == b.kind && a.player == b.player && a.hasStatus == b.hasStatus &&
         a.status == b.status && a.hasRate == b.hasRate && SameNumber(a.rate, b.rate) &&
         a.hasVolume == b.hasVolume && SameNumber(a.volume, b.volume) &&
         a.hasMetadata == b.hasMetadata && a.metadata == b.metadata &&
         a.positionUs == b.positionUs && a.atMs == b.atMs;
}

}  // namespace

int FuzzMpris(const uint8_t* data, size_t size) {
  CheckingSink sink("mpris");
  int64_t now = 0;
  sources::MediaSource core(sink, [&now] { return now; });
  sources::SourceApp source(core, "desktop players");
  sources::MprisAdapter adapter(source);
  std::set<std::string> players;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    PlayerUpdate update;
    std::string error;
    if (!sources::ParseUpdate(line, update, error)) {
      if (error.empty()) InvariantViolated("mpris: a line refused without a reason");
      continue;
    }
    const std::string written = sources::FormatUpdate(update);
    PlayerUpdate reread;
    if (!sources::ParseUpdate(written, reread, error))
      InvariantViolated("mpris: the update written as '%s' does not read back: %s", written.c_str(),
                        error.c_str());
    if (!SameUpdate(update, reread))
      InvariantViolated("mpris: '%.*s' reads back as another update from '%s'",
                        static_cast<int>(line.size()), line.data(), written.c_str());
    players.insert(update.player);
    adapter.Apply(update);
    // Time passes between updates: the core's play times run on.
    now += 50;
    core.Tick();
    for (const std::string& playing : adapter.Playing())
      if (players.count(playing) == 0)
        InvariantViolated("mpris: the position of '%s', a player never seen, is asked for",
                          playing.c_str());
  }
  // Every player goes: the desktop players end, and with them everything they opened.
  for (const std::string& player : players) {
    PlayerUpdate vanished;
    vanished.kind = PlayerUpdate::Kind::Vanished;
    vanished.player = player;
    adapter.Apply(vanished);
  }
  if (adapter.playerCount() != 0)
    InvariantViolated("mpris: %zu players left after every one vanished", adapter.playerCount());
  if (sink.openSessions() != 0)
    InvariantViolated("mpris: %zu sessions left open after every player went", sink.openSessions());
  return 0;
}

}  // namespace lumora::fuzz
