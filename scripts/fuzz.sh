#!/usr/bin/env bash
# A short, bounded fuzzing run: builds the libFuzzer harnesses (fuzz preset: clang, ASan and
# UBSan, build/fuzz) and runs each one for SECONDS (default 60) from the corpus kept in
# tests/fuzz/corpus/ and from seeds made of the golden scenarios.
#
#   scripts/fuzz.sh [--merge] [SECONDS]
#
# New inputs go to build/fuzz/corpus/HARNESS/, crashing inputs to build/fuzz/artifacts/HARNESS/,
# the log of each run to build/fuzz/logs/HARNESS.log. The exit status is 1 when any harness
# found a crash, a hang (over 5 s) or a run away memory use (over 2 GB). With --merge the kept
# corpus is afterwards minimized together with the new inputs (libFuzzer -merge=1, keeping an
# input when it reaches a branch no other one reaches) and replaced.
# Needs clang and libFuzzer's runtime (libclang-rt-14-dev): scripts/install-deps.sh installs them.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

merge=0
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
fi
seconds=${1:-60}
case "$seconds" in
  '' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [--merge] [SECONDS]" >&2
    exit 2
    ;;
esac

need_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

harnesses=(window_proc scenario frame kodi mpris)
targets=(lumora-fuzz-seeds)
for h in "${harnesses[@]}"; do targets+=("lumora-fuzz-${h//_/-}"); done

echo "== Build the fuzzing harnesses (build/fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

bin=build/fuzz/bin
seeds=build/fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds/scenario" "$seeds/kodi" "$seeds/mpris"
cp tests/golden/*.scn "$seeds/scenario/"
"$bin/lumora-fuzz-seeds" "$seeds/window_proc" tests/golden/*.scn 2>/dev/null
"$bin/lumora-fuzz-seeds" --frames "$seeds/frame" tests/golden/*.scn 2>/dev/null
# Kodi's messages as the captures of a real Kodi hold them, one after the other.
for capture in tests/sources/fixtures/*.cap; do
  sed -n 's/^< //p' "$capture" | tr -d '\n' >"$seeds/kodi/$(basename "$capture" .cap)"
done
# The desktop players' updates as the real players gave them: the fixtures are in the input's
# form already.
cp tests/mpris/fixtures/*.updates "$seeds/mpris/"

# One harness a core at a time (each libFuzzer process uses one), the results said in order.
run_harness() {  # HARNESS: its status is the fuzzer's
  local h=$1 exe="$bin/lumora-fuzz-${1//_/-}"
  "$exe" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$h/" "build/fuzz/corpus/$h" "tests/fuzz/corpus/$h" \
    "$seeds/$h" >"build/fuzz/logs/$h.log" 2>&1
}
echo "== ${harnesses[*]}: ${seconds} s each, $(nproc) at a time"
declare -A job
for h in "${harnesses[@]}"; do
  mkdir -p "build/fuzz/corpus/$h" "build/fuzz/artifacts/$h" build/fuzz/logs "tests/fuzz/corpus/$h"
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  run_harness "$h" &
  job[$h]=$!
done
failed=()
for h in "${harnesses[@]}"; do
  log=build/fuzz/logs/$h.log
  artifacts=build/fuzz/artifacts/$h
  echo "== $h"
  if wait "${job[$h]}"; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    grep -E '^stat::number_of_executed_units' "$log" || true
  else
    failed+=("$h")
    grep -E 'ERROR|lumora invariant violated|SUMMARY' "$log" | head -5 || true
    echo "   log: $log; input: $(ls -t "$artifacts" | head -1)" >&2
  fi
done

if [ "$merge" -eq 1 ] && [ ${#failed[@]} -eq 0 ]; then
  for h in "${harnesses[@]}"; do
    exe="$bin/lumora-fuzz-${h//_/-}"
    fresh=build/fuzz/merged/$h
    rm -rf "$fresh"
    mkdir -p "$fresh"
    echo "== $h: minimize the kept corpus"
    "$exe" -merge=1 -use_counters=0 -timeout=5 -rss_limit_mb=2048 "$fresh" "tests/fuzz/corpus/$h" \
      "build/fuzz/corpus/$h" "$seeds/$h" >"build/fuzz/logs/$h.merge.log" 2>&1
    rm -rf "tests/fuzz/corpus/$h"
    mv "$fresh" "tests/fuzz/corpus/$h"
    echo "   $(ls "tests/fuzz/corpus/$h" | wc -l) inputs," \
      "$(du -sh --apparent-size "tests/fuzz/corpus/$h" | cut -f1)"
  done
fi

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]} (see build/fuzz/artifacts/)" >&2
  exit 1
fi
echo "Fuzzing: no fault in ${#harnesses[@]} harnesses, ${seconds} s each"
