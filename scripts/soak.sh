#!/usr/bin/env bash
# A soak of the Linux agent under hostile clients: for MINUTES minutes, senders play events as
# fast as they can while others send garbage, hang up mid-frame or stop reading their replies.
# Then the recording must replay to the live trace byte for byte, and the agent's resident
# memory must have stayed flat (no more than 1 MiB above what it was after the first tenth; on a
# sanitizer build, whose leak check at the end judges leaks, the memory is only said).
#
# With --follow, the follower runs beside them with every source at once: `lumora follow`
# between the agent and a Kodi stand-in sending 50 notifications a second (tests/sources/
# kodi_standin.py), and two real mpv on a private session bus, paused and played every few
# seconds. Then also: the follower ran all along and ends within a second of SIGTERM, every
# event it sent is among those the agent received, in order (nothing lost), and its memory
# stayed flat too. (Run it on the sanitizer build for the long soak: scripts/soak.sh --follow 30
# build/sanitizers.)
#
#   scripts/soak.sh [--follow] MINUTES [BUILD_DIR]     (BUILD_DIR: build/default by default)
set -u
follow=
if [[ ${1:-} == --follow ]]; then
  follow=1
  shift
fi
minutes=${1:?usage: scripts/soak.sh [--follow] MINUTES [BUILD_DIR]}
bin=${2:-$(dirname "$0")/../build/default}/bin
here=$(cd "$(dirname "$0")/.." && pwd)
lumora=$bin/lumora replay=$bin/lumora-replay
# Under AddressSanitizer the resident memory also holds the sanitizer's own bookkeeping (freed
# memory kept aside, the allocation stacks), which grows with the allocations made; its leak check
# at each program's end judges leaks there. On such a build the memory is said, not judged.
judge_memory=1
ldd "$bin/lumora" 2>/dev/null | grep -q libasan && judge_memory=
command -v perl >/dev/null || { echo "soak: perl is missing (package perl)"; exit 77; }
if [[ -n $follow ]]; then
  for tool in dbus-daemon:dbus mpv:mpv playerctl:playerctl ffmpeg:ffmpeg python3:python3; do
    command -v "${tool%%:*}" >/dev/null ||
      { echo "soak: ${tool%%:*} is missing (package ${tool#*:})"; exit 77; }
  done
  [[ -f /etc/mpv/scripts/mpris.so ]] || { echo "soak: mpv-mpris is missing (package mpv-mpris)"; exit 77; }
fi
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
rss() { awk '/^VmRSS/ {print $2}' "/proc/${1:-$agent}/status"; }

if [[ -n $follow ]]; then
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --address="unix:path=$work/bus")
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  pids+=("${bus##*$'\n'}")
  for tone in 440 660; do
    ffmpeg -loglevel error -f lavfi -i "sine=f=$tone:d=20" -metadata title="Tone $tone Hz" \
      -metadata artist="Soak" "$work/$tone.mp3"
    mpv --no-config --script=/etc/mpv/scripts/mpris.so --ao=null --no-video --loop=inf \
      "$work/$tone.mp3" >/dev/null 2>&1 &
    pids+=($!)
  done
  python3 "$here/tests/sources/kodi_standin.py" 1 50 >"$work/kodi.port" &
  pids+=($!)
  for ((i = 0; i < 100; ++i)); do [[ -s $work/kodi.port ]] && break; sleep 0.05; done
  "$lumora" follow --port "$(cat "$work/kodi.port")" --socket "$socket" -v 2>"$work/follow.log" &
  follower=$!
  # The players change hands every few seconds.
  playersEnd=$((SECONDS + minutes * 60))
  (while ((SECONDS < playersEnd)); do
    for player in $(playerctl -l 2>/dev/null); do playerctl -p "$player" play-pause 2>/dev/null; sleep 2; done
    sleep 1
  done) &
  pids+=($!)
fi

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
[[ -n $follow ]] && followFirst=$(rss "$follower")
while ((SECONDS < end)); do sleep 1; done
last=$(rss)
if [[ -n $follow ]]; then
  kill -0 "$follower" 2>/dev/null || { echo "soak: the follower ended: $(tail -3 "$work/follow.log")"; exit 1; }
  followLast=$(rss "$follower")
  stopped=$(date +%s%N)
  kill -TERM "$follower"
  wait "$follower" || { echo "soak: the follower ended with status $?: $(tail -3 "$work/follow.log")"; exit 1; }
  took=$((($(date +%s%N) - stopped) / 1000000))
  ((took <= 1000)) || { echo "soak: the follower took $took ms to end after SIGTERM"; exit 1; }
fi
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
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
[[ -z $judge_memory ]] || ((last - first <= 1024)) ||
  { echo "soak: the agent's memory grew by $((last - first)) kB"; exit 1; }
if [[ -n $follow ]]; then
  # Every event the follower sent (its -v lines) is among those the agent received, in order.
  sed -n 's/^lumora follow: event \([0-9-]*\) \([A-Za-z]*\).*/\1 \2/p' "$work/follow.log" >"$work/sent"
  sed -n 's/^event \([0-9-]*\) \([A-Za-z]*\).*/\1 \2/p' "$work/soak.rec" >"$work/received"
  awk 'NR == FNR { sent[++n] = $0; next } i < n && $0 == sent[i + 1] { i++ }
       END { if (i < n) { print "soak: the follower sent \"" sent[i + 1] "\" (its event " i + 1 " of " n ") and the agent has it not"; exit 1 } }' \
    "$work/sent" "$work/received" || exit 1
  echo "soak: the follower sent $(wc -l <"$work/sent") events, every one received in order; it" \
    "ended ${took} ms after SIGTERM; resident memory ${followFirst} kB after the first tenth," \
    "${followLast} kB at the end"
  [[ -z $judge_memory ]] || ((followLast - followFirst <= 1024)) ||
    { echo "soak: the follower's memory grew by $((followLast - followFirst)) kB"; exit 1; }
fi
