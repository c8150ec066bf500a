#!/usr/bin/env bash
# Windows' media sessions under Wine, whose own Windows Runtime has no such class: the
# media-sessions source in the test's host (media-driver.exe) against the project's stand-in of
# the system's media transport controls (media_sessions/standin_media_control.cpp), loaded by
# Wine's RoGetActivationFactory through its registration under the class name, and Lumora.exe
# with the recording display library:
#  1. no stand-in registered: the host says in one line that the media sessions are not
#     available, and runs on; --list-media says the same and fails;
#  2. the stand-in registered: --list-media prints both sessions of list.media as reported;
#  3. evening.media (a browser's and a music application's sessions, accented titles, status
#     changes, timeline samples, a session vanishing, events from the stand-in's own thread):
#     the events Lumora.exe received are those of evening.events, derived by hand, and its
#     recording replays to the panel trace it drew.
#
#   media_sessions_test.sh x64|x86 SOURCE_DIR TRACE_CHECK REPLAY
#
# The 32-bit one runs only where the kernel runs 32-bit programs (skipped, saying so, before
# building anything, elsewhere). Skipped (77) when Wine, Xvfb, a mingw-w64 compiler
# or python3 is missing.
set -u
if (($# != 4)) || [[ $1 != x64 && $1 != x86 ]]; then
  echo "usage: media_sessions_test.sh x64|x86 SOURCE_DIR TRACE_CHECK REPLAY" >&2
  exit 2
fi
ARCH=$1
SOURCE_DIR=$(cd "$2" && pwd)
TRACE_CHECK=$(realpath "$3")
REPLAY=$(realpath "$4")
HERE=$SOURCE_DIR/tests/wine
WINESERVER=/usr/lib/wine/wineserver
if [[ $ARCH == x64 ]]; then
  WINE=/usr/lib/wine/wine64 WINE_PACKAGE=wine64 COMPILER=x86_64-w64-mingw32-g++-posix
  COMPILER_PACKAGE=g++-mingw-w64-x86-64-posix
  export WINEARCH=win64
else
  WINE=${LUMORA_WINE32:-/usr/lib/wine/wine} WINE_PACKAGE=wine32:i386 COMPILER=i686-w64-mingw32-g++-posix
  COMPILER_PACKAGE=g++-mingw-w64-i686-posix
  export WINEARCH=win32
fi
TEST_NAME=media_sessions-$ARCH
. "$HERE/wine_lib.sh"
TEST_LABEL="media_sessions $ARCH"
BUILD=$(windows_build "$SOURCE_DIR" "$ARCH")
BIN=$BUILD/bin
MEDIA=$BIN/fixtures/media

missing=()
need() { [[ -x $1 ]] || command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need "$WINE" "$WINE_PACKAGE"
need "$WINESERVER" wine
need Xvfb xvfb
need "$COMPILER" "$COMPILER_PACKAGE"
need python3 python3
((${#missing[@]} == 0)) ||
  skip "missing tools; install the Debian packages: ${missing[*]} (scripts/install-deps.sh installs them)"
wine_need_arch "$ARCH"

trap wine_cleanup EXIT
trap 'exit 130' INT TERM

say "building Lumora.exe, the recording PanelDrv.dll, lumora-send.exe, the stand-in and the host"
wine_build "$SOURCE_DIR" "mingw-$ARCH" "$BUILD" media-build.log Lumora paneldrv_recording \
  lumora-send wine_media_fixtures
for file in "$BIN/Lumora.exe" "$BIN/PanelDrv.dll" "$MEDIA/MediaControlStandIn.dll" \
  "$MEDIA/media-driver.exe"; do
  [[ -s $file ]] || fail "the build made no $file"
done
# The host gains no import of the Windows Runtime: combase.dll is loaded when the source starts.
imports=$("${COMPILER%-g++-posix}-objdump" -p "$MEDIA/media-driver.exe" | grep 'DLL Name:')
grep -qi 'KERNEL32' <<<"$imports" || fail "the imports of media-driver.exe could not be read"
grep -qi 'combase\|api-ms-win-core-winrt' <<<"$imports" && fail "media-driver.exe imports the Windows Runtime"

say "preparing a $WINEARCH Wine prefix on a virtual display"
wine_start
cd "$TMP" || exit 1
ulimit -c 0
winpath() { echo "Z:${1//\//\\}"; }
CLASS=Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager
NOT_AVAILABLE="media-driver: the media sessions are not available: this Windows has no $CLASS (Windows 10 1809 or later has it; 0x80040154)"

# --- 1. Wine's own Windows Runtime: not available, one line -----------------------------------
say "1: without the stand-in"
"$WINE" "$MEDIA/media-driver.exe" --for 1500 >"$TMP/plain.out" 2>"$TMP/plain.log" ||
  fail "1: media-driver.exe failed without the stand-in"
[[ $(tr -d '\r' <"$TMP/plain.log") == "$NOT_AVAILABLE" ]] ||
  fail "1: the host said"$'\n'"$(cat "$TMP/plain.log")"$'\n'"instead of"$'\n'"$NOT_AVAILABLE"
status=0
"$WINE" "$MEDIA/media-driver.exe" --list-media >"$TMP/plain-list.out" 2>"$TMP/plain-list.log" ||
  status=$?
((status == 1)) || fail "1: --list-media without the stand-in ended with $status, not 1"
[[ $(tr -d '\r' <"$TMP/plain-list.log") == "$NOT_AVAILABLE" && ! -s $TMP/plain-list.out ]] ||
  fail "1: --list-media said"$'\n'"$(cat "$TMP/plain-list.log" "$TMP/plain-list.out")"

# --- 2. The stand-in, registered for the class name -------------------------------------------
"$WINE" reg add "HKLM\\Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\$CLASS" /v DllPath \
  /t REG_SZ /d "$(winpath "$MEDIA/MediaControlStandIn.dll")" /f >"$TMP/reg.log" 2>&1 ||
  fail "2: the stand-in could not be registered"
say "2: --list-media"
LUMORA_MEDIA_SCRIPT=$(winpath "$HERE/media_sessions/list.media") \
  "$WINE" "$MEDIA/media-driver.exe" --list-media >"$TMP/list.out" 2>"$TMP/list.log" ||
  fail "2: --list-media failed"
python3 - "$TMP/list.out" <<'PY' || fail "2: --list-media printed"$'\n'"$(cat "$TMP/list.out")"
import re, sys
lines = open(sys.argv[1], encoding="utf-8").read().replace("\r", "").splitlines()
expected = [
    re.escape('Chrome status=Paused type=Unknown rate=1 title="Le Café des Étoiles" artist="" '
              'album="" track=0 position=0:00:45.300 end=0:10:00.000 updated=never'),
    re.escape('Spotify.exe status=Playing type=Music rate=1.5 title="Ça Ira Très Bien" '
              'artist="Chœur d\'Été" album="Été" track=7 position=0:01:01.000 end=0:04:00.000 ')
    + r"updated=20\d\d-[01]\d-[0-3]\d [0-2]\d:[0-5]\d:[0-5]\d\.\d{3} UTC",
]
if len(lines) != len(expected) or not all(re.fullmatch(e, l) for e, l in zip(expected, lines)):
    sys.exit(1)
PY

# --- 3. An evening of a browser and a music application --------------------------------------
say "3: Lumora.exe and the host following evening.media"
TRACE=$TMP/panel.trace
RECORDING=$TMP/received.scn
env LUMORA_PANEL_TRACE="$(winpath "$TRACE")" LUMORA_RECORD="$(winpath "$RECORDING")" \
  "$WINE" "$BIN/Lumora.exe" >"$TMP/lumora.log" 2>&1 &
AGENT_PID=$!
timeout 90 "$WINE" "$BIN/lumora-send.exe" --test-wait-window 60 ||
  fail "3: Lumora.exe showed no hidden window \"Lumora\" within 60 s"
LUMORA_MEDIA_SCRIPT=$(winpath "$HERE/media_sessions/evening.media") \
  timeout 120 "$WINE" "$MEDIA/media-driver.exe" -v --for 21000 >"$TMP/driver.out" \
  2>"$TMP/driver.log" || fail "3: media-driver.exe failed"
grep -q 'not understood\|cannot read' "$TMP/driver.log" && fail "3: the stand-in could not play the script"
timeout 60 "$WINE" "$BIN/lumora-send.exe" --close || fail "3: lumora-send.exe --close failed"
for ((i = 0; i < 300; ++i)); do
  kill -0 "$AGENT_PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$AGENT_PID" 2>/dev/null && fail "3: Lumora.exe did not end within 30 s of --close"
AGENT_PID=
python3 "$HERE/media_sessions/check_events.py" "$HERE/media_sessions/evening.events" \
  "$RECORDING" || { grep '^event' "$RECORDING" >&2; fail "3: Lumora.exe received other events"; }
"$REPLAY" "$RECORDING" >"$TMP/replayed.trace" || fail "3: lumora-replay refused the recording"
"$TRACE_CHECK" --same "$TRACE" "$TMP/replayed.trace" ||
  fail "3: the panel trace is not the one of the events received"
# On the panel, in this order (the panel's texts in the play-time formats of
# engine/panel_texts.h): the video's title in Windows-1252, its time paused at 0:50; the song's
# title, its time paused at 1:10; the video told again; the song told again when the video's
# session vanished; its time stopped (an asterisk) when its session closed.
"$REPLAY" --trace "$TRACE" >"$TMP/panel.readable" || fail "3: lumora-replay cannot read the trace"
python3 - "$TMP/panel.readable" <<'PY' || fail "3: the panel did not show the sessions as expected"
import re, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
expected = [r'text2 \d+ "Le Café des Étoiles"', r'text3 0 "    00:00:50"',
            r'text2 \d+ "Ça Ira Très Bien"', r'text3 0 "    00:01:10"',
            r'text2 \d+ "Le Café des Étoiles"', r'text2 \d+ "Ça Ira Très Bien"',
            r'text3 0 "\*   00:01:10"', r'close']
at = 0
for pattern in expected:
    while at < len(lines) and not re.fullmatch(pattern, lines[at]):
        at += 1
    if at == len(lines):
        sys.exit(f"the panel never showed {pattern} where expected")
    at += 1
PY
say "PASS"
