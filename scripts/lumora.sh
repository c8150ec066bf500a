#!/usr/bin/env bash
# `lumora` from a fresh clone: installs what building needs, builds the program of the default
# preset when it is missing or older than the sources, then runs it with the given arguments
# (`scripts/lumora.sh run &`, `scripts/lumora.sh kodi`, `scripts/lumora.sh mpris`). Two of them
# started together build once: the second waits for the first's build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/lib.sh

mkdir -p build
exec 9>build/.lumora-build.lock
flock 9
scripts/install-deps.sh build >&2
echo "Building lumora ..." >&2
build_preset default lumora >/dev/null
flock -u 9
exec 9>&-
cd - >/dev/null
exec "$top/build/default/bin/lumora" "$@"
