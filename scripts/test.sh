#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine: installs what is missing, builds the
# default and the sanitizer presets, and runs every test under both.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need_packages "${BUILD_PACKAGES[@]}"

echo "== Build and test: default preset"
build_preset default
ctest --preset default -j "$(nproc)"

echo "== Build and test: address and undefined-behaviour sanitizers"
build_preset sanitizers
ctest --preset sanitizers -j "$(nproc)" -LE no-sanitizers
