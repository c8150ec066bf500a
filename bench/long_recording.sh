#!/usr/bin/env bash
# A long recording replays in bounded memory: writes a recording of SECONDS seconds at RATE
# events a second in the recorder's own format (its first line, the `time` of the afternoon,
# then each second RATE events and the clock's `tick`), replays it with lumora-replay, and checks
# that the trace is the expected one and that the replay's peak resident memory stayed under
# MAX_MB. The events are a Media Center evening in a loop that ends each second where it began,
# so every second after the first gives the panel the packets of the second one, but for the
# clock's digits: the expected trace is that of the first second, then the second one again and
# again with the digits of its own time, then `close` (checked first against a replay of three
# seconds). The trace is compared as it comes, never stored. Prints the figures.
#
#   bench/long_recording.sh [--seconds N] [--rate R] [--max-mb M] [--pipe] [BUILD_DIR]
#     defaults: one hour (3600 s) at 2000 events a second, 64 MB, build/default; at most 9
#     hours (the clock's hour stays one digit: 1 PM to 10 PM). --pipe: the recording comes
#     through a pipe on standard input (copied to a temporary file to be read twice)
#
# /usr/bin/time (Debian package time) measures the peak memory.
set -u
seconds=3600 rate=2000 max_mb=64 build= pipe=0
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --max-mb) max_mb=$2; shift 2 ;;
    --pipe) pipe=1; shift ;;
    -h | --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) build=$1; shift ;;
  esac
done
replay=${build:-$(dirname "$0")/../build/default}/bin/lumora-replay
[[ -x /usr/bin/time ]] || { echo "long recording: /usr/bin/time is missing (package time)"; exit 77; }
((seconds >= 1 && seconds <= 32400)) || { echo "long recording: 1 to 32400 seconds"; exit 2; }
[[ -x $replay ]] || { echo "long recording: no $replay (build lumora-replay first)"; exit 1; }
work=$(mktemp -d /tmp/lumora-long-XXXXXX)
trap 'rm -rf "$work"' EXIT

# write SECONDS: the recording of SECONDS seconds on standard output.
write() {
  awk -v seconds="$1" -v rate="$rate" 'BEGIN {
    n = split("event 1 NavHome|event 7 SessionOpened|event 7 LiveTvStarted|event 7 ItemNumber \"7\"|" \
              "event 7 Play|event 7 PlayTime \"000042\"|event 7 Pause|event 7 Stop|" \
              "event 7 SessionClosed|event 1 NavMusic", loop, "|")
    print "# Lumora recording, started 2026-12-11 13:00:00"
    print "time 2026-12-11 13:00:00"
    for (s = 0; s < seconds; ++s) {
      for (e = 0; e < rate; ++e) print loop[e % n + 1]
      print "tick"
    }
  }'
}

# The traces of one and two seconds: the first second, and the second one as the pattern of
# each further second, its clock digits (1:00:01 and 1:00:02 as the panel's text, in hexadecimal)
# marked for the time of each.
for k in 1 2 3; do
  write $k >"$work/$k.scn"
  "$replay" "$work/$k.scn" >"$work/$k.trace" || { echo "long recording: $k s do not replay"; exit 1; }
done
l1=$(wc -l <"$work/1.trace") l2=$(wc -l <"$work/2.trace")
head -n $((l1 - 1)) "$work/1.trace" >"$work/first"
sed -n "${l1},$((l2 - 1))p" "$work/2.trace" >"$work/each"
# expected SECONDS: the expected trace of SECONDS seconds on standard output.
expected() {
  awk -v seconds="$1" -v first="$work/first" 'function digits(t,  text, hex, i) {
      text = sprintf("%d:%02d:%02d", 1 + int(t / 3600), int(t / 60) % 60, t % 60)
      hex = ""
      for (i = 1; i <= length(text); ++i) hex = hex sprintf("%02x", index(chars, substr(text, i, 1)) + 47)
      return hex
    }
    BEGIN { chars = "0123456789:" }
    { gsub(/313a30303a3031/, "@A"); gsub(/313a30303a3032/, "@B"); each[NR] = $0 }
    END {
      while ((getline line < first) > 0) print line
      for (t = 1; t < seconds; ++t) {
        now = digits(t); next_ = digits(t + 1)
        for (i = 1; i <= NR; ++i) {
          line = each[i]
          if (index(line, "@")) { gsub(/@A/, now, line); gsub(/@B/, next_, line) }
          print line
        }
      }
      print "close"
    }' "$work/each"
}
expected 3 | cmp -s - "$work/3.trace" ||
  { echo "long recording: the seconds do not repeat; no expected trace"; exit 1; }

write "$seconds" >"$work/long.scn"
bytes=$(stat -c %s "$work/long.scn")
# cmp reads the replay's trace as it comes, through a FIFO: the trace is never stored.
mkfifo "$work/trace"
if ((pipe)); then
  /usr/bin/time -f '%M %e' -o "$work/time" "$replay" < <(cat "$work/long.scn") >"$work/trace" &
else
  /usr/bin/time -f '%M %e' -o "$work/time" "$replay" "$work/long.scn" >"$work/trace" &
fi
replayer=$!
expected "$seconds" | cmp -s - "$work/trace"
same=$?
wait "$replayer"
status=$?
read -r peak_kb elapsed <"$work/time"
lines=$(($(wc -l <"$work/first") + (seconds - 1) * $(wc -l <"$work/each") + 1))
echo "long recording: $((seconds * rate)) events and $seconds ticks in $bytes bytes;" \
  "replayed in $elapsed s, peak resident memory $peak_kb kB ($((peak_kb / 1024)) MiB)," \
  "$lines trace lines"
((status == 0)) || { echo "long recording: lumora-replay ended with status $status"; exit 1; }
((same == 0)) || { echo "long recording: the trace is not the expected one"; exit 1; }
((peak_kb < max_mb * 1024)) || { echo "long recording: more than $max_mb MB of memory"; exit 1; }
echo "long recording: the expected trace, within $max_mb MB"
