#!/usr/bin/env bash
# Every performance measurement of the agent, from a fresh Debian 12 machine: installs what is
# missing, builds the bench preset (build/bench, Release) and runs
#   1. the cost of each kind of message through the window procedure on a null display library
#      (Google Benchmark, 5 repetitions, medians), with packets and heap allocations per message;
#   2. the instructions of the same situations under callgrind (repeatable on a busy machine);
#   3. the round trip through the Linux agent's socket intake beside a reply-only server, an
#      event to LCDd's display (the panel on LCDd) beside a bare client of LCDd, and a
#      notification of Kodi's to its frame at the agent through lumora follow with two mpv
#      playing beside it;
#   4. the idle agent's CPU time over a minute of clock ticks and its resident memory;
#   5. with LUMORA_BENCH_WINE=1 only: SendMessage with WM_COPYDATA to Lumora.exe under Wine
#      beside a reply-only window (informative; cross-builds in build/bench/mingw).
# Results go to build/bench/results/, with a Markdown summary in summary.md.
#
# Knobs (environment): LUMORA_BENCH_REPETITIONS (5), LUMORA_LATENCY_RUNS (5),
# LUMORA_IDLE_SECONDS (60), LUMORA_BENCH_WINE (0).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need_packages "${BUILD_PACKAGES[@]}" valgrind python3 time lcdproc dbus mpv mpv-mpris ffmpeg

repetitions=${LUMORA_BENCH_REPETITIONS:-5}
latency_runs=${LUMORA_LATENCY_RUNS:-5}
idle_seconds=${LUMORA_IDLE_SECONDS:-60}

echo "== Build: bench preset"
build_preset bench
bin=build/bench/bin
out=build/bench/results
rm -rf "$out"
mkdir -p "$out"

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core|Socket|Hypervisor)'
  echo "kernel: $(uname -r)"
  echo "compiler: $(c++ --version | head -n 1)"
  echo "benchmark library: $(dpkg-query -W -f='${Version}' libbenchmark-dev)"
} | tee "$out/machine.txt"

echo "== 1. Cost per message (median of $repetitions repetitions)"
"$bin/lumora_event_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/events.json" --benchmark_out_format=json | tee "$out/events.txt"

echo "== 2. Instructions per unit under callgrind"
# The difference between 1200 and 200 units is the cost of 1000 units alone.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/lumora_event_cost" "$1" "$2" \
    2>&1 >/dev/null | sed -n 's/^==[0-9]*== Collected : \([0-9]*\)$/\1/p'
}
for situation in $("$bin/lumora_event_cost" --list); do
  small=$(instructions "$situation" 200)
  large=$(instructions "$situation" 1200)
  echo "$situation $(((large - small) / 1000))"
done | tee "$out/instructions.txt"

if [ -x "$bin/lumora" ] && [ -x "$bin/lumora_intake_latency" ]; then
  echo "== 3. Round trip through the socket intake ($latency_runs runs)"
  for run in $(seq 1 "$latency_runs"); do
    "$bin/lumora_intake_latency" "$bin/lumora" --json "$out/latency-$run.json" 2>/dev/null
  done

  if [ -x /usr/sbin/LCDd ] && [ -x "$bin/lumora_lcdproc_latency" ]; then
    echo "== 3b. An event to LCDd's display, beside a bare client of LCDd"
    "$bin/lumora_lcdproc_latency" "$bin/lumora" 2>/dev/null | tee "$out/lcdproc.txt"
  fi

  if [ -x "$bin/lumora_follow_latency" ] && command -v mpv >/dev/null; then
    echo "== 3c. A notification of Kodi's to its frame through lumora follow, two mpv beside it"
    bench/follow_latency.sh "$bin" 2>/dev/null | tee "$out/follow.txt"
  fi

  echo "== 4. Idle agent over $idle_seconds s"
  dir=$(mktemp -d /tmp/lumora-idle-XXXXXX)
  socket="$dir/agent.sock"
  /usr/bin/time -v -o "$out/idle-time.txt" "$bin/lumora" run --socket "$socket" --panel none \
    >/dev/null 2>"$dir/agent.err" &
  timer=$!
  agent=""
  for _ in $(seq 1 100); do
    agent=$(tr -d ' ' <"/proc/$timer/task/$timer/children" 2>/dev/null || true)
    [ -n "$agent" ] && [ -S "$socket" ] && break
    sleep 0.05
  done
  if [ -z "$agent" ]; then
    echo "the agent did not start:" >&2
    cat "$dir/agent.err" >&2
    exit 1
  fi
  sleep 2  # past start-up: only clock ticks from here on
  cpu0=$(cut -d' ' -f1 "/proc/$agent/schedstat")
  ticks0=$(awk '{print $14 + $15}' "/proc/$agent/stat")
  sleep "$idle_seconds"
  cpu1=$(cut -d' ' -f1 "/proc/$agent/schedstat")
  ticks1=$(awk '{print $14 + $15}' "/proc/$agent/stat")
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$agent/status")
  hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$agent/status")
  "$bin/lumora" send --socket "$socket" --close || kill -TERM "$agent"
  wait "$timer" || true
  maxrss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$out/idle-time.txt")
  rm -rf "$dir"
  printf '{"seconds": %s, "cpu_ns": %s, "ticks": %s, "vmrss_kb": %s, "vmhwm_kb": %s, "maxrss_kb": %s}\n' \
    "$idle_seconds" "$((cpu1 - cpu0))" "$((ticks1 - ticks0))" "$rss" "$hwm" "$maxrss" |
    tee "$out/idle.json"
else
  echo "== 3, 4: skipped: the Linux agent (lumora) is not part of this build"
fi

if [ "${LUMORA_BENCH_WINE:-0}" = 1 ]; then
  echo "== 5. SendMessage under Wine (informative)"
  need_packages wine64 xvfb g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  bench/wine_latency.sh | tee "$out/wine.txt"
fi

echo "== Summary ($out/summary.md)"
python3 bench/summarize.py "$out" | tee "$out/summary.md"
