#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine: installs everything it needs once, up
# front (scripts/install-deps.sh; no test installs anything), then
#   1. builds the default preset and runs every test (the Windows programs under Wine and the
#      pages in a headless browser included);
#   2. runs clang-tidy over the project's sources (scripts/clang_tidy.sh);
#   3. runs each fuzzing harness for a short, bounded time (LUMORA_FUZZ_SECONDS, default 30);
#   4. builds the sanitizer preset and runs the suite again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# Building needs its packages; without root, whatever else is missing is named here, and the
# tests that need it report themselves skipped.
need_packages "${BUILD_PACKAGES[@]}"
# When everything is installed, a skipped test is a fault of the install, and fails the run.
check=skipping_nothing
scripts/install-deps.sh || {
  echo "Some packages could not be installed: the tests that need them will be skipped." >&2
  check=
}

# Some kernels run no 32-bit programs at all (no 32-bit emulation): no package can give them one,
# so the tests of the 32-bit Windows build are left out by name there, and said so, rather than
# counted as skipped.
exclude=()
if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "This machine's kernel runs no 32-bit programs: the 32-bit Windows tests are left out." >&2
  exclude=(-LE 'wine_(x86|wow64)')
fi

# Each phase's heading, with how long the run has taken so far (bash counts SECONDS).
phase() { echo "== $* (at $((SECONDS / 60)) min $((SECONDS % 60)) s)"; }

phase "Build: default preset"
build_preset default
phase "Tests: default preset"
$check ctest --preset default -j "$(nproc)" "${exclude[@]}"

# Once, not per build: the checks read the default preset's compile_commands.json.
phase "clang-tidy over every folder"
scripts/clang_tidy.sh build/default

phase "Fuzzing: ${LUMORA_FUZZ_SECONDS:-30} s per harness"
scripts/fuzz.sh "${LUMORA_FUZZ_SECONDS:-30}"

phase "Build: address and undefined-behaviour sanitizers"
build_preset sanitizers
phase "Tests: address and undefined-behaviour sanitizers"
# The Wine test runs the cross-compiled programs, which no sanitizer instruments.
$check ctest --preset sanitizers -j "$(nproc)" -LE wine
phase "Done"
