#!/usr/bin/env bash
# The main job: the live agent with the terminal panel emulator, playing a bundled evening of
# Media Center use through its real socket intake. Ctrl-C ends it. Arguments go to
# `lumora demo` (--fast plays the evening in a few seconds).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

scripts/install-deps.sh build
echo "Building lumora ..."
build_preset default lumora >/dev/null
exec build/default/bin/lumora demo "$@"
