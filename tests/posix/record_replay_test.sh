#!/usr/bin/env bash
# A recorded evening replays to its live trace: `lumora run --record FILE --trace TRACE -v`
# receives the bundled evening through its socket in three parts, with the clock ticking
# between them; lumora-replay then replays the recording, and its trace must be the live one
# (every open, msgbox, cmd and close line the same, the clock packets of the same kinds in the
# same places). A second run appends to the recording, which still replays. -v writes one line
# per message received.
#
#   record_replay_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK EVENING
set -euo pipefail
lumora=$1 replay=$2 check=$3 evening=$4

work=$(mktemp -d /tmp/lumora-record-XXXXXX)
agent=
cleanup() {
  [[ -n $agent ]] && kill "$agent" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
export TMPDIR=$work XDG_RUNTIME_DIR=
socket=$work/agent.sock

start_agent() {  # LOG TRACE
  "$lumora" run --socket "$socket" --panel none --quiet --trace "$2" --record "$work/evening.rec" \
    -v 2>"$1" &
  agent=$!
  for ((i = 0; i < 100; ++i)); do
    [[ -S $socket ]] && return 0
    sleep 0.05
  done
  fail "the agent did not listen within 5 s"
}
stop_agent() {
  "$lumora" send --socket "$socket" --close || fail "lumora send --close failed"
  wait "$agent" || fail "the agent ended with status $?"
  agent=
}

# The evening's sendable lines in three parts, the clock ticking between them.
grep -vE '^[[:space:]]*(#|$|close)' "$evening" >"$work/lines"
total=$(wc -l <"$work/lines")
split -n l/3 "$work/lines" "$work/part."

start_agent "$work/agent.log" "$work/live.trace"
sleep 1.2
for part in "$work"/part.*; do
  "$lumora" send --socket "$socket" --file "$part" || fail "lumora send --file $part failed"
  sleep 2.2
done
stop_agent

"$replay" "$work/evening.rec" >"$work/replayed.trace" || fail "lumora-replay refused the recording"
"$check" --same "$work/live.trace" "$work/replayed.trace" ||
  fail "the recording does not replay to the live trace"
# Not only the same kinds of packets: the very same bytes, the clock's digits included.
cmp -s "$work/live.trace" "$work/replayed.trace" ||
  fail "the recording replays to another trace: $(diff "$work/live.trace" "$work/replayed.trace" | head -4)"
grep -q '^tick$' "$work/evening.rec" || fail "no clock tick was recorded"
grep -q '^time ' "$work/evening.rec" || fail "the recording does not set the time"

# -v: one line per message received (not the clock's ticks), with the packets it caused.
events=$(grep -cE '^[0-9]{2}:[0-9]{2}:[0-9]{2} (event|power) .* -> [0-9]+ packets?$' "$work/agent.log" || true)
((events == total)) || fail "-v wrote $events message lines for $total messages: $(head -3 "$work/agent.log")"
grep -qE ' event [0-9]+ LiveTvStarted -> [0-9]+ packets?$' "$work/agent.log" ||
  fail "-v does not name the events"

# A second run appends to the same recording, which still replays whole.
start_agent "$work/agent2.log" "$work/live2.trace"
"$lumora" send --socket "$socket" 3 NavMusic || fail "lumora send failed"
stop_agent
grep -q '^# Lumora recording, continued' "$work/evening.rec" || fail "the second run is not marked"
# It replays as two runs, each ending and starting the agent: the two live traces in turn.
"$replay" "$work/evening.rec" >"$work/both.trace" || fail "the appended recording does not replay"
cat "$work/live.trace" "$work/live2.trace" | cmp -s - "$work/both.trace" ||
  fail "the two runs do not replay to their live traces one after the other:" \
    "$(cat "$work/live.trace" "$work/live2.trace" | diff - "$work/both.trace" | head -6)"
echo "the recording of $total messages replays to the live trace ($(wc -l <"$work/live.trace") lines)"
