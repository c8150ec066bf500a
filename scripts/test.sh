#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine: installs what is missing, then
#   1. builds the default preset and runs every test (the Windows programs under Wine and the
#      pictures in a headless browser included: those tests install their own packages);
#   2. runs each fuzzing harness for a short, bounded time (LUMORA_FUZZ_SECONDS, default 60);
#   3. builds the sanitizer preset and runs the suite again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need_packages "${BUILD_PACKAGES[@]}"

echo "== Build and test: default preset"
build_preset default
ctest --preset default -j "$(nproc)"

echo "== Fuzzing: ${LUMORA_FUZZ_SECONDS:-60} s per harness"
scripts/fuzz.sh "${LUMORA_FUZZ_SECONDS:-60}"

echo "== Build and test: address and undefined-behaviour sanitizers"
build_preset sanitizers
# The Wine test runs the cross-compiled programs, which no sanitizer instruments.
ctest --preset sanitizers -j "$(nproc)" -LE wine
