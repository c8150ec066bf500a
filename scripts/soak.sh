#!/usr/bin/env bash
# A soak of the Linux agent under hostile clients: for MINUTES minutes, senders play events as
# fast as they can while others send garbage, hang up mid-frame or stop reading their replies.
# Then the recording must replay to the live trace byte for byte, and the agent's resident
# memory must have stayed flat (no more than 1 MiB above what it was after the first tenth).
#
#   scripts/soak.sh MINUTES [BUILD_DIR]     (BUILD_DIR: build/default by default)
set -u
minutes=${1:?usage: scripts/soak.sh MINUTES [BUILD_DIR]}
bin=${2:-$(dirname "$0")/../build/default}/bin
lumora=$bin/lumora replay=$bin/lumora-replay
command -v perl >/dev/null || { echo "soak: perl is missing (package perl)"; exit 77; }
work=$(mktemp -d /tmp/lumora-soak-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
socket=$work/agent.sock
"$lumora" run --socket "$socket" --panel none --quiet --trace "$work/live.trace" \
  --record "$work/soak.rec" 2>"$work/agent.err" &
agent=$!
for ((i = 0; i < 100; ++i)); do [[ -S $socket ]] && break; sleep 0.05; done
[[ -S $socket ]] || { echo "soak: the agent did not listen"; exit 1; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$agent/status"; }

end=$((SECONDS + minutes * 60))
# Well-behaved senders: a Media Center evening in a loop.
printf '%s\n' "event 1 NavHome" "event 7 LiveTvStarted" "event 7 ItemNumber 7" "event 7 Play" \
  "event 7 PlayTime 000042" "event 7 Pause" "event 7 Stop" "event 1 NavMusic" >"$work/burst"
for _ in 1 2; do
  (while ((SECONDS < end)); do "$lumora" send --socket "$socket" --file "$work/burst" >/dev/null 2>>"$work/send.err"; done) &
  pids+=($!)
done
# Hostile clients: garbage, frames cut short, and a pipeliner that never reads its replies.
perl -MIO::Socket::UNIX -e '
  my ($path, $end) = @ARGV;
  while (time < $end) {
    my $s = IO::Socket::UNIX->new(Peer => $path) or next;
    my $kind = int(rand(3));
    if ($kind == 0) { my $junk = join "", map { chr(int(rand(256))) } 1 .. 64; print $s $junk; }
    elsif ($kind == 1) { print $s "\x01\x00\x00"; }
    else { $s->blocking(0); for (1 .. 2000) { last unless defined syswrite($s, "\0" x 32); } }
    close $s;
  }' "$socket" "$(($(date +%s) + minutes * 60))" &
pids+=($!)

sleep $((minutes * 6))
first=$(rss)
while ((SECONDS < end)); do sleep 1; done
last=$(rss)
for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
pids=()
"$lumora" send --socket "$socket" --close >/dev/null || { echo "soak: the agent did not close"; exit 1; }
wait "$agent" || { echo "soak: the agent ended with status $?: $(cat "$work/agent.err")"; exit 1; }

events=$(grep -c '^event ' "$work/soak.rec")
"$replay" "$work/soak.rec" >"$work/replayed.trace" || { echo "soak: the replay refused the recording"; exit 1; }
if ! cmp -s "$work/live.trace" "$work/replayed.trace"; then
  echo "soak: the recording does not replay to the live trace byte for byte:"
  diff "$work/live.trace" "$work/replayed.trace" | head -6
  exit 1
fi
echo "soak: $events events in $minutes min, $(wc -l <"$work/live.trace") trace lines replayed" \
  "byte for byte; resident memory ${first} kB after the first tenth, ${last} kB at the end"
((last - first <= 1024)) || { echo "soak: the agent's memory grew by $((last - first)) kB"; exit 1; }
