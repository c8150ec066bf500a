#!/usr/bin/env bash
# The Windows release archive: builds the mingw-x64 and mingw-x86 presets with their installers
# and packs, into OUT_DIR/Lumora-VERSION-windows.zip (OUT_DIR defaults to build/release):
#   Lumora-x64-VERSION-setup.exe, Lumora-x86-VERSION-setup.exe   the installers
#   Lumora-x64/, Lumora-x86/    Lumora.exe and lumora-send.exe of each architecture, in
#                               stand-in/ the recording PanelDrv.dll for trying without a panel,
#                               in pass-through/ the PanelDrv.dll that traces a real panel's calls
#   Lumora guide.txt            docs/windows.md, the owner's guide
# Needs the mingw-w64 compilers of both architectures and makensis (Debian: nsis).
set -euo pipefail
cd "$(dirname "$0")/.."
OUT_DIR=${1:-build/release}
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=Lumora-$VERSION-windows
mkdir -p "$OUT_DIR"
OUT_DIR=$(cd "$OUT_DIR" && pwd)
STAGE=$OUT_DIR/$NAME

rm -rf "$STAGE" "$OUT_DIR/$NAME.zip"
mkdir -p "$STAGE"
for arch in x64 x86; do
  cmake --preset "mingw-$arch" >/dev/null
  cmake --build --preset "mingw-$arch" --parallel 2 \
    --target Lumora lumora-send paneldrv_recording paneldrv_passthrough installer >/dev/null
  bin=build/mingw-$arch/bin
  mkdir -p "$STAGE/Lumora-$arch/stand-in" "$STAGE/Lumora-$arch/pass-through"
  cp "$bin/Lumora.exe" "$bin/lumora-send.exe" "$STAGE/Lumora-$arch/"
  cp "$bin/PanelDrv.dll" "$STAGE/Lumora-$arch/stand-in/"
  cp "$bin/passthrough/PanelDrv.dll" "$STAGE/Lumora-$arch/pass-through/"
  cp "build/mingw-$arch/Lumora-$arch-$VERSION-setup.exe" "$STAGE/"
done
cp docs/windows.md "$STAGE/Lumora guide.txt"
(cd "$OUT_DIR" && cmake -E tar cf "$NAME.zip" --format=zip "$NAME")
rm -rf "$STAGE"
echo "$OUT_DIR/$NAME.zip"
