#!/usr/bin/env bash
# `lumora` from a fresh clone: installs what building needs, builds the program of the default
# preset when it is missing or older than the sources, then runs it with the given arguments
# (`scripts/lumora.sh run`, `scripts/lumora.sh kodi`, `scripts/lumora.sh mpris`). Two of them
# started together build once: the second waits for the first's build.
#
# When nothing changed since the last build it says nothing and runs the program at once: no
# file of the tree (build folders, Git's and the browser tests' modules aside) is newer than the
# stamp the last successful build left, so neither the packages, CMake nor make are asked.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=$top/build/default/bin/lumora
stamp=$top/build/default/.lumora-built

# Whether a file of the source tree is newer than the stamp of the last build.
changed_since_build() {
  [ -x "$program" ] && [ -f "$stamp" ] || return 0
  [ -n "$(find "$top" \( -path "$top/build" -o -path "$top/.git" -o -name node_modules \) -prune \
    -o -newer "$stamp" -print -quit)" ]
}

if changed_since_build; then
  cd "$top"
  . scripts/lib.sh
  mkdir -p build
  exec 9>build/.lumora-build.lock
  flock 9
  # Another one may have built it meanwhile.
  if changed_since_build; then
    scripts/install-deps.sh build >&2
    echo "Building lumora ..." >&2
    # Stamped as of the build's start: a file changed during the build is newer than it.
    mkdir -p "${stamp%/*}" && touch "$stamp.new"
    build_preset default lumora >/dev/null
    mv "$stamp.new" "$stamp"
  fi
  flock -u 9
  exec 9>&-
  cd - >/dev/null
fi
exec "$program" "$@"
