#!/usr/bin/env bash
# The Windows release archive: builds the mingw-x64 and mingw-x86 presets with their installers
# and packs, into OUT_DIR/Lumora-VERSION-windows.zip (OUT_DIR defaults to build/release):
#   Lumora-x64-VERSION-setup.exe, Lumora-x86-VERSION-setup.exe   the installers
#   Lumora-x64/, Lumora-x86/    Lumora.exe, lumora-send.exe, lumora-follow.exe (the follower
#                               of Kodi) and lumora-replay.exe (the trace reader) of each
#                               architecture, in
#                               stand-in/ the recording PanelDrv.dll for trying without a panel,
#                               in on-screen/ the PanelDrv.dll that draws the panel in a window,
#                               in pass-through/ the PanelDrv.dll that traces a real panel's calls;
#                               the binaries are stripped
#   Lumora guide.txt            the owner's sections of docs/windows.md, a text for Notepad
# and the debug information of every binary (FILE.debug), needed for bug reports only, in an
# archive of its own, OUT_DIR/Lumora-VERSION-windows-debug.zip, so that the first stays small: its
# files lie under the same top folder and paths as their binaries in the first, so that both
# unpacked in one place put each debug file beside its binary, where a debugger looks for it;
# and beside it the Debian package of the Linux programs, OUT_DIR/lumora_VERSION_ARCH.deb
# (scripts/deb.sh, which builds and checks it; LUMORA_RELEASE_DEB=no leaves it out, as the tests
# of the Windows archive do).
# Needs the mingw-w64 compilers of both architectures and makensis (Debian: nsis). The cross
# builds go to the presets' folders, build/mingw-x64 and build/mingw-x86, or under
# LUMORA_WINDOWS_BUILDS when set (the tests set it to a folder of the build they run in).
set -euo pipefail
cd "$(dirname "$0")/.."
OUT_DIR=${1:-build/release}
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=Lumora-$VERSION-windows
mkdir -p "$OUT_DIR"
OUT_DIR=$(cd "$OUT_DIR" && pwd)
STAGE=$OUT_DIR/$NAME
DEBUG_STAGE=$OUT_DIR/debug-stage/$NAME

rm -rf "$STAGE" "$OUT_DIR/debug-stage" "$OUT_DIR/$NAME.zip" "$OUT_DIR/$NAME-debug.zip"
mkdir -p "$STAGE" "$DEBUG_STAGE"
for arch in x64 x86; do
  # One build at a time in a build folder: the Wine tests build there too (tests/wine/wine_lib.sh).
  build=${LUMORA_WINDOWS_BUILDS:-build}/mingw-$arch
  mkdir -p "$build"
  exec {lock}>"$build/wine_e2e.lock"
  flock -w 900 "$lock"
  cmake --preset "mingw-$arch" -B "$build" >/dev/null
  cmake --build "$build" --parallel 2 --target Lumora lumora-send lumora-follow lumora-replay \
    paneldrv_recording paneldrv_passthrough paneldrv_window owner_guide installer >/dev/null
  bin=$build/bin
  to=$STAGE/Lumora-$arch
  debug_to=$DEBUG_STAGE/Lumora-$arch
  mkdir -p "$to/stand-in" "$to/on-screen" "$to/pass-through" "$debug_to/stand-in" \
    "$debug_to/on-screen" "$debug_to/pass-through"
  # Each binary stripped, its debug information at the same place in the debug archive.
  ship() {  # FILE FOLDER-IN-THE-ARCHIVE
    cp "$1" "$to/$2/"
    cp "$1.debug" "$debug_to/$2/"
  }
  ship "$bin/Lumora.exe" .
  ship "$bin/lumora-send.exe" .
  ship "$bin/lumora-follow.exe" .
  ship "$bin/lumora-replay.exe" .
  ship "$bin/PanelDrv.dll" stand-in
  ship "$bin/window/PanelDrv.dll" on-screen
  ship "$bin/passthrough/PanelDrv.dll" pass-through
  cp "$build/Lumora-$arch-$VERSION-setup.exe" "$STAGE/"
  flock -u "$lock"
  exec {lock}>&-
done
cp "${LUMORA_WINDOWS_BUILDS:-build}/mingw-x64/Lumora guide.txt" "$STAGE/Lumora guide.txt"
(cd "$OUT_DIR" && cmake -E tar cf "$NAME.zip" --format=zip "$NAME")
(cd "$OUT_DIR/debug-stage" && cmake -E tar cf "../$NAME-debug.zip" --format=zip "$NAME")
rm -rf "$STAGE" "$OUT_DIR/debug-stage"
echo "$OUT_DIR/$NAME.zip"
echo "$OUT_DIR/$NAME-debug.zip"
if [ "${LUMORA_RELEASE_DEB:-yes}" != no ]; then
  scripts/deb.sh "$OUT_DIR"
fi
