#!/usr/bin/env bash
# The main job: shows what the panel does for a short evening of Media Center use.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

need_packages "${BUILD_PACKAGES[@]}"
build_preset default >/dev/null
exec build/default/bin/lumora-replay --decode tests/golden/session_overview_live_tv_channel_7.scn
