#!/usr/bin/env bash
# Installs everything the build and the whole test suite need on a Debian 12 machine, once and
# up front: the Debian packages (as root, with apt-get; the i386 architecture is added for
# 32-bit Wine) and the browser tests' npm packages. No test installs anything: a test whose tool
# is missing reports itself skipped and names the package.
#
#   scripts/install-deps.sh [build]    # build: only what building and the unit tests need
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

if [ "${1:-}" = build ]; then
  need_packages "${BUILD_PACKAGES[@]}"
  exit 0
fi
need_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${LINT_PACKAGES[@]}" \
  "${WINDOWS_PACKAGES[@]}" "${DESKTOP_PACKAGES[@]}" "${DEB_PACKAGES[@]}" "${PLAYER_PACKAGES[@]}" \
  "${BROWSER_PACKAGES[@]}"
need_node_modules
