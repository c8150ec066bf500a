#!/usr/bin/env bash
# The round trip of SendMessage with WM_COPYDATA to Lumora.exe under Wine, beside a window that
# only replies (bench/win32_sendmessage_latency.cpp). Informative: under Wine every cross-process
# SendMessage goes through the Wine server, so the figures say more about Wine than about the
# agent; the ratio to the baseline is the part that concerns the agent.
#
#   bench/wine_latency.sh [MESSAGES]
#
# Cross-builds Lumora.exe and the recording PanelDrv.dll with the mingw preset in
# build/bench/mingw, the measuring program beside them, and runs all three on a virtual X display
# in a Wine prefix of its own, which is removed afterwards. Needs wine64, Xvfb and mingw-w64.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
MESSAGES=${1:-10000}
BUILD=$SOURCE_DIR/build/bench/mingw
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

for tool in "$WINE" /usr/bin/Xvfb /usr/bin/x86_64-w64-mingw32-g++; do
  [[ -x $tool ]] || {
    echo "wine_latency: $tool is missing (packages wine64, xvfb, g++-mingw-w64-x86-64-posix)" >&2
    exit 1
  }
done

echo "wine_latency: building Lumora.exe and PanelDrv.dll in $BUILD"
if [[ ! -f $BUILD/CMakeCache.txt ]]; then
  cmake --preset mingw -B "$BUILD" >/dev/null
fi
cmake --build "$BUILD" --parallel 2 --target Lumora paneldrv_recording >/dev/null
x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -I"$SOURCE_DIR" \
  "$SOURCE_DIR/bench/win32_sendmessage_latency.cpp" "$SOURCE_DIR/base/media_event.cpp" \
  -o "$BUILD/bin/win32_sendmessage_latency.exe"

TMP=$(mktemp -d /tmp/lumora-wine-latency.XXXXXX)
XVFB_PID=
AGENT_PID=
SERVER_PID=
cleanup() {
  for pid in $AGENT_PID $SERVER_PID; do
    kill "$pid" 2>/dev/null || true
  done
  [[ -d $TMP/prefix ]] && WINEPREFIX=$TMP/prefix timeout 30 "$WINESERVER" -k 2>/dev/null || true
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$TMP"
}
trap cleanup EXIT

mkdir -p "$TMP/home"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 1 100); do
  [[ -s $TMP/display ]] && break
  sleep 0.1
done
export DISPLAY=:$(head -n 1 "$TMP/display")
export WINEPREFIX=$TMP/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$TMP/home
echo "wine_latency: preparing a Wine prefix on display $DISPLAY"
timeout 120 "$WINE" wineboot -i >"$TMP/wineboot.log" 2>&1

"$WINE" "$BUILD/bin/Lumora.exe" >"$TMP/agent.log" 2>&1 &
AGENT_PID=$!
"$WINE" "$BUILD/bin/win32_sendmessage_latency.exe" server >"$TMP/server.log" 2>&1 &
SERVER_PID=$!
sleep 3  # both windows up, the agent past its first clock ticks
timeout 600 "$WINE" "$BUILD/bin/win32_sendmessage_latency.exe" client "$MESSAGES"
