#!/usr/bin/env bash
# lumora-kodi.exe and Lumora.exe under Wine against the real Kodi on Linux (under Xvfb): the
# bridge started before Kodi waits for it; a tagged song played, paused and played again, the
# volume changed, stopped; Kodi killed (the bridge closes what it opened) and started again (the
# bridge follows it). The events Lumora.exe received (its LUMORA_RECORD recording) are checked
# against what docs/sources.md says they must be.
#
#   kodi_wine_test.sh x64|x86 SOURCE_DIR
#
# Skipped (77) when Wine, Xvfb, a mingw-w64 compiler, Kodi, PulseAudio or ffmpeg is missing.
set -u
if (($# != 2)) || [[ $1 != x64 && $1 != x86 ]]; then
  echo "usage: kodi_wine_test.sh x64|x86 SOURCE_DIR" >&2
  exit 2
fi
ARCH=$1
SOURCE_DIR=$(cd "$2" && pwd)
HERE=$SOURCE_DIR/tests/wine
WINESERVER=/usr/lib/wine/wineserver
if [[ $ARCH == x64 ]]; then
  WINE=/usr/lib/wine/wine64 WINE_PACKAGE=wine64
  export WINEARCH=win64
else
  WINE=/usr/lib/wine/wine WINE_PACKAGE=wine32:i386
  export WINEARCH=win32
fi
TEST_NAME=kodi_wine-$ARCH
. "$HERE/wine_lib.sh"
BUILD=$(windows_build "$SOURCE_DIR" "$ARCH")
BIN=$BUILD/bin
. "$SOURCE_DIR/tests/sources/kodi_lib.sh"

say() { echo "kodi_wine $ARCH: [${SECONDS}s] $*"; }
fail() {
  echo "kodi_wine $ARCH: FAIL: $*" >&2
  echo "--- events Lumora.exe received" >&2
  grep '^event' "$TMP/received.scn" >&2 2>/dev/null
  exit 1
}

missing=()
need() { [[ -x $1 ]] || command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need "$WINE" "$WINE_PACKAGE"
need "$WINESERVER" wine
need Xvfb xvfb
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
need cmake cmake
if ((${#missing[@]})); then
  echo "kodi_wine $ARCH: SKIPPED: missing tools; install the Debian packages: ${missing[*]}" \
    "(scripts/install-deps.sh installs them)"
  exit 77
fi
[[ $ARCH == x86 ]] && wine_need_32bit
kodi_need

BRIDGE_PID=
finish() {
  local status=$?
  [[ -n $BRIDGE_PID ]] && kill "$BRIDGE_PID" 2>/dev/null
  kodi_cleanup
  (exit $status)
  wine_cleanup
}
trap finish EXIT
trap 'exit 130' INT TERM

say "building Lumora.exe, its recording display library, lumora-send.exe and lumora-kodi.exe"
wine_build "$SOURCE_DIR" "mingw-$ARCH" "$BUILD" kodi-build.log Lumora paneldrv_recording \
  lumora-send lumora-kodi
say "preparing a $WINEARCH Wine prefix on a virtual display"
wine_start
cd "$TMP" || exit 1
ulimit -c 0
KODI_DISPLAY=$DISPLAY  # Kodi on the Wine programs' virtual display
kodi_prepare
SONG=$TMP/song.mp3
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -metadata "title=Café Song ★ Live" \
  -metadata "artist=The Testers" -metadata track=4 "$SONG" || fail "ffmpeg made no song"

winpath() { echo "Z:${1//\//\\}"; }
env LUMORA_RECORD="$(winpath "$TMP/received.scn")" "$WINE" "$BIN/Lumora.exe" >"$TMP/lumora.log" 2>&1 &
AGENT_PID=$!
timeout 90 "$WINE" "$BIN/lumora-send.exe" --test-wait-window 60 ||
  fail "Lumora.exe showed no hidden window \"Lumora\" within 60 s"
"$WINE" "$BIN/lumora-kodi.exe" --port "$KODI_PORT" >"$TMP/bridge.log" 2>&1 &
BRIDGE_PID=$!

wait_for() {  # FILE PATTERN SECONDS WHAT
  local i
  for ((i = 0; i < $3 * 10; ++i)); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$4"
}
wait_for "$TMP/bridge.log" "Kodi is not answering on 127.0.0.1:$KODI_PORT" 30 \
  "lumora-kodi.exe did not say that it waits for Kodi"
say "starting Kodi"
kodi_start
wait_for "$TMP/received.scn" "event 1 NavHome" 30 "no shell session after Kodi started"

say "playing through Kodi"
# Six seconds of play before the pause: on a loaded machine the first play time can come two
# seconds late, and the check wants three of them.
python3 "$SOURCE_DIR/tests/sources/kodi_drive.py" "$KODI_PORT" \
  "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:6 'Player.PlayPause={"playerid":0}' \
  sleep:1.5 'Player.PlayPause={"playerid":0}' sleep:1.5 'Application.SetVolume={"volume":10}' \
  sleep:1 'Player.Stop={"playerid":0}' sleep:1.5 || fail "Kodi did not take the scenario"
python3 "$SOURCE_DIR/tests/sources/kodi_drive.py" "$KODI_PORT" \
  "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:2 || fail "no second play"
sleep 1.5
say "killing Kodi"
kodi_kill
wait_for "$TMP/bridge.log" "Kodi closed the connection" 10 "lumora-kodi.exe did not see Kodi go"
sleep 1

# As for the Linux bridge (tests/sources/kodi_live_test.sh): the shell, the song's session with
# its title in Windows-1252, advancing play times, Pause and Play, Level 26 for 10 %, Stop and
# the close; the second song's session closed with the shell's when Kodi was killed.
python3 -B - "$SOURCE_DIR/tests/sources" "$TMP/received.scn" <<'PY' || fail "the events Lumora.exe received are not the expected ones"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import events_of, finder
events = events_of(sys.argv[2])
find = finder(events)
at = find(r"1 SessionOpened", 0, "the shell session")
at = find(r"1 NavHome", at + 1, "the home menu")
opened = find(r"(\d+) SessionOpened", at + 1, "the song's session")
sid = events[opened].split()[0]
at = find(sid + r" MusicStarted", opened + 1, "the music start")
at = find(sid + r' MusicTitle "Caf(\\xE9|\\xe9|é) Song \? Live"', at + 1, "the title")
at = find(sid + r" Play", at + 1, "Play")
pause = find(sid + r" Pause", at + 1, "Pause")
times = [int(e.split('"')[1]) for e in events[at:pause] if e.startswith(sid + " PlayTime")]
if len(times) < 3 or any(b - a not in (1, 2) for a, b in zip(times, times[1:])):
    sys.exit(f"play times not advancing once a second: {times}")
at = find(sid + r" Play", pause + 1, "Play after the pause")
at = find(sid + r' Level "26"', at + 1, "the level of 10 %")
at = find(sid + r" Stop", at + 1, "Stop")
at = find(sid + r" SessionClosed", at + 1, "the close")
second = find(r"(\d+) SessionOpened", at + 1, "the second song's session")
sid2 = events[second].split()[0]
if events[-3:] != [f"{sid2} Stop", f"{sid2} SessionClosed", "1 SessionClosed"]:
    sys.exit(f"after Kodi was killed the last events are {events[-3:]}")
PY

say "starting Kodi again"
opened_before=$(grep -c '^event 1 SessionOpened' "$TMP/received.scn")
kodi_start
for ((i = 0; i < 300; ++i)); do
  (($(grep -c '^event 1 SessionOpened' "$TMP/received.scn") > opened_before)) && break
  sleep 0.1
done
(($(grep -c '^event 1 SessionOpened' "$TMP/received.scn") > opened_before)) ||
  fail "lumora-kodi.exe did not follow Kodi after its restart"
timeout 60 "$WINE" "$BIN/lumora-send.exe" --close || fail "lumora-send.exe --close failed"
say "PASS"
