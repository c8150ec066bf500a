#!/usr/bin/env bash
# lumora-follow.exe and Lumora.exe under Wine against the real Kodi on Linux (under Xvfb), with
# the recording PanelDrv.dll: the follower started before Kodi waits for it; a tagged song
# played, paused and played again, the volume set to 50 %, stopped (the panel back on Kodi's
# menu); a second song paused, the agent closed and started again while it is quiet (the new
# agent is told everything and shows the song), played; the agent closed and started again while
# the song plays (a delivery fails, the next agent is told the song playing); Kodi killed (the
# follower closes what it opened) and started again (the follower follows it); the follower ended by WM_CLOSE to its
# window. The events each Lumora.exe received (its LUMORA_RECORD recording) are checked against
# what docs/sources.md says they must be, the panel's level bar and title against the panel's
# rules; the follower's command line, its log and the log's bound are checked on the way.
#
#   follow_wine_test.sh x64|x86 SOURCE_DIR REPLAY
#
# REPLAY is the Linux lumora-replay, which reads the panel traces. Skipped (77) when Wine,
# Xvfb, a mingw-w64 compiler, Kodi, PulseAudio or ffmpeg is missing, or when this machine runs
# no 32-bit programs (x86).
set -u
if (($# != 3)) || [[ $1 != x64 && $1 != x86 ]]; then
  echo "usage: follow_wine_test.sh x64|x86 SOURCE_DIR REPLAY" >&2
  exit 2
fi
ARCH=$1
SOURCE_DIR=$(cd "$2" && pwd)
REPLAY=$3
HERE=$SOURCE_DIR/tests/wine
WINESERVER=/usr/lib/wine/wineserver
if [[ $ARCH == x64 ]]; then
  WINE=/usr/lib/wine/wine64 WINE_PACKAGE=wine64
  export WINEARCH=win64
else
  WINE=/usr/lib/wine/wine WINE_PACKAGE=wine32:i386
  export WINEARCH=win32
fi
TEST_NAME=follow_wine-$ARCH
. "$HERE/wine_lib.sh"
BUILD=$(windows_build "$SOURCE_DIR" "$ARCH")
BIN=$BUILD/bin
. "$SOURCE_DIR/tests/sources/kodi_lib.sh"

fail() {
  echo "$TEST_NAME: FAIL: $*" >&2
  local scn
  for scn in "$TMP"/received*.scn; do
    [[ -f $scn ]] || continue
    echo "--- events $(basename "$scn" .scn) (Lumora.exe)" >&2
    grep '^event' "$scn" >&2
  done
  [[ -n ${LOG:-} && -f $LOG ]] && { echo "--- the follower's log" >&2; cat "$LOG" >&2; }
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
((${#missing[@]})) &&
  skip "missing tools; install the Debian packages: ${missing[*]} (scripts/install-deps.sh installs them)"
wine_need_arch "$ARCH"
kodi_need
[[ -x $REPLAY ]] || fail "no lumora-replay at $REPLAY"

FOLLOWER_PID=
finish() {
  local status=$?
  [[ -n $FOLLOWER_PID ]] && kill "$FOLLOWER_PID" 2>/dev/null
  kodi_cleanup
  (exit $status)
  wine_cleanup
}
trap finish EXIT
trap 'exit 130' INT TERM

say "building Lumora.exe, its recording display library, lumora-send.exe and lumora-follow.exe"
wine_build "$SOURCE_DIR" "mingw-$ARCH" "$BUILD" follow-build.log Lumora paneldrv_recording \
  lumora-send lumora-follow
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
FOLLOW=("$WINE" "$BIN/lumora-follow.exe")

# --- The command line: its help, version and usage mistakes on the output it is given -------
say "the command line"
"${FOLLOW[@]}" --help >"$TMP/help.txt" 2>"$TMP/help.err" || fail "--help did not end with 0"
for word in "--only kodi" --no-media --list-media --host --port --verbose --capture lumora-follow.log \
  lumora-follow.old.log "1 MiB" LumoraFollower WM_CLOSE; do
  grep -qF -- "$word" "$TMP/help.txt" || fail "--help does not name $word"
done
grep -q mpris "$TMP/help.txt" && fail "--help offers the desktop players, which Windows lacks"
[[ $("${FOLLOW[@]}" --version 2>&1) =~ ^lumora-follow\.exe\ [0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  fail "--version says: $("${FOLLOW[@]}" --version 2>&1)"
# usage CASE EXPECTED ARG...: status 2 and the one line saying what was wrong.
usage() {
  local expected=$1 said status
  shift
  "${FOLLOW[@]}" "$@" >/dev/null 2>"$TMP/usage.err"
  status=$?
  said=$(head -n 1 "$TMP/usage.err" | tr -d '\r')
  ((status == 2)) || fail "lumora-follow.exe $* ended with $status, not 2: $(cat "$TMP/usage.err")"
  [[ $said == "lumora-follow.exe: $expected" ]] || fail "lumora-follow.exe $* said: $said"
}
usage "--only wants kodi or media" --only mpris
usage "no source left to follow (both kodi and media are off)" --no-kodi --no-media
usage "unknown option or missing value: --socket" --socket x
usage "unknown option or missing value: --no-mpris" --no-mpris
usage "--port wants a number from 1 to 65535" --port 65536
usage "unknown option or missing value: --host" --host

# --- The log: where it is, and its bound -----------------------------------------------------
APPDATA_WIN=$("$WINE" cmd /c echo %LOCALAPPDATA% | tr -d '\r')
LOG_DIR=$("$WINE" winepath -u "$APPDATA_WIN\\Lumora" 2>/dev/null | tr -d '\r')
[[ -n $LOG_DIR ]] || fail "winepath did not name %LOCALAPPDATA%\\Lumora ($APPDATA_WIN)"
LOG=$LOG_DIR/lumora-follow.log
# A log past its bound from an earlier run: renamed at the start, the old one before it gone.
mkdir -p "$LOG_DIR"
echo "an older log" >"$LOG_DIR/lumora-follow.old.log"
yes "a line of an earlier run of the follower" | head -c 1048600 >"$LOG"

say "starting Lumora.exe, then lumora-follow.exe before Kodi"
start_agent() {  # N: Lumora.exe recording into received-N.scn, its panel into panel-N.trace
  env LUMORA_RECORD="$(winpath "$TMP/received-$1.scn")" \
    LUMORA_PANEL_TRACE="$(winpath "$TMP/panel-$1.trace")" "$WINE" "$BIN/Lumora.exe" \
    >"$TMP/lumora-$1.log" 2>&1 &
  AGENT_PID=$!
  timeout 90 "$WINE" "$BIN/lumora-send.exe" --test-wait-window 60 ||
    fail "Lumora.exe showed no hidden window \"Lumora\" within 60 s"
}
start_agent 1
"${FOLLOW[@]}" --port "$KODI_PORT" -v >"$TMP/follower.out" 2>&1 &
FOLLOWER_PID=$!

wait_for() {  # FILE PATTERN SECONDS WHAT
  local i
  for ((i = 0; i < $3 * 10; ++i)); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$4"
}
wait_for "$LOG" "Kodi is not answering on 127.0.0.1:$KODI_PORT" 30 \
  "lumora-follow.exe did not say in its log that it waits for Kodi"
# Wine's Windows Runtime has no reader of the system's media sessions: one line says so, and
# Kodi is followed all the same (below).
(($(grep -c "the media sessions are not available" "$LOG") == 1)) ||
  fail "the log does not say once that the media sessions are not available: $(cat "$LOG")"
[[ $(head -c 1048600 "$LOG_DIR/lumora-follow.old.log") == $(yes "a line of an earlier run of the follower" | head -c 1048600) ]] ||
  fail "the log past 1 MiB was not renamed lumora-follow.old.log at the start"
(($(stat -c %s "$LOG") < 4096)) || fail "the log was not begun anew at the start"
say "starting Kodi"
kodi_start
wait_for "$TMP/received-1.scn" "event 1 NavHome" 30 "no shell session after Kodi started"

DRIVE=(python3 "$SOURCE_DIR/tests/sources/kodi_drive.py" "$KODI_PORT")
say "playing through Kodi: play, pause, play, 50 % volume"
# Six seconds of play before the pause: on a loaded machine the first play time can come two
# seconds late, and the check wants three of them.
"${DRIVE[@]}" "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:6 'Player.PlayPause={"playerid":0}' \
  sleep:1.5 'Player.PlayPause={"playerid":0}' sleep:1.5 'Application.SetVolume={"volume":50}' \
  sleep:1.5 || fail "Kodi did not take the scenario"
cp "$TMP/panel-1.trace" "$TMP/panel-1-at-50.trace"
say "stopping the song"
"${DRIVE[@]}" 'Player.Stop={"playerid":0}' sleep:1.5 || fail "Kodi did not stop"

# The events in their order (docs/sources.md): the shell and its first menu; the song's session
# with its start event, track, title (Windows-1252: the accent the byte E9, the star a '?'),
# artist and Play; play times once a second; Pause and Play; at 50 % the bar's 16 segments
# light round(50 x 16 / 100) = 8: step 7, whose lowest level is 11 + 1 = 12, sent as the
# Level 24 the agent halves; Stop and the close; then Kodi's menu again (home).
python3 -B - "$SOURCE_DIR/tests/sources" "$TMP/received-1.scn" <<'PY' || fail "the events Lumora.exe received are not the expected ones"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import events_of, finder, song_told
events = events_of(sys.argv[2])
find = finder(events)
at = find(r"1 SessionOpened", 0, "the shell session")
at = find(r"1 NavHome", at + 1, "the home menu")
sid, at = song_told(events, find, at + 1)
pause = find(sid + r" Pause", at + 1, "Pause")
times = [int(e.split('"')[1]) for e in events[at:pause] if e.startswith(sid + " PlayTime")]
if len(times) < 3 or any(b - a not in (1, 2) for a, b in zip(times, times[1:])):
    sys.exit(f"play times not advancing once a second: {times}")
at = find(sid + r" Play", pause + 1, "Play after the pause")
at = find(sid + r' Level "24"', at + 1, "the level of 50 %")
at = find(sid + r" Stop", at + 1, "Stop")
at = find(sid + r" SessionClosed", at + 1, "the close")
if at + 1 >= len(events) or events[at + 1] != "1 NavHome":
    sys.exit(f"after the close, {events[at + 1:at + 2]}, not Kodi's menu again")
PY
# The panel at 50 %: the last icons packet before the stop lights 8 of the bar's segments (bits
# 4 to 19 of the Icon Map's bytes 3 to 5 read as one little-endian number).
"$REPLAY" --trace "$TMP/panel-1-at-50.trace" >"$TMP/panel-1-at-50.txt" ||
  fail "lumora-replay --trace could not read the panel's trace"
python3 - "$TMP/panel-1-at-50.txt" <<'PY' || fail "the level bar does not light half its segments at 50 %"
import sys
icons = [line.split()[1:] for line in open(sys.argv[1]) if line.startswith("icons ")]
if not icons:
    sys.exit("no icons packet in the trace")
b = [int(x, 16) for x in icons[-1]]
lit = bin((b[3] | b[4] << 8 | b[5] << 16) & 0x0FFFF0).count("1")
if lit != 8:
    sys.exit(f"the bar lights {lit} segments: icons {' '.join(icons[-1])}")
PY

# --- The agent restarted while the player is quiet -------------------------------------------
say "a second song, paused; the agent closed and started again"
"${DRIVE[@]}" "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:3 \
  'Player.PlayPause={"playerid":0}' sleep:1.5 || fail "no second song"
timeout 60 "$WINE" "$BIN/lumora-send.exe" --close || fail "lumora-send.exe --close failed"
wait "$AGENT_PID" 2>/dev/null
AGENT_PID=
sleep 1.5
start_agent 2
# Told within a second or two of its window's appearing; the agent holds the first menu event
# for its second of start-up.
wait_for "$TMP/received-2.scn" "event [0-9]* Pause" 15 \
  "the new agent was not told the paused song within 15 s"
sleep 0.5
# Everything again, in the order of a first opening: the shell and its menu, the song's session
# (a new number: the new agent knows no session) with the song from its start event, Play and
# then Pause, the player's state; the level of 50 %.
python3 -B - "$SOURCE_DIR/tests/sources" "$TMP/received-2.scn" <<'PY' || fail "the new agent was not told everything again"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import events_of, finder, song_told
events = events_of(sys.argv[2])
find = finder(events)
if events[0] != "1 SessionOpened":
    sys.exit(f"the new agent's first event is {events[0]}")
at = find(r"1 Nav\w+", 1, "Kodi's menu")
sid, at = song_told(events, find, at + 1)
at = find(sid + r" Pause", at + 1, "Pause")
find(r'\d+ Level "24"', 1, "the level of 50 %")
PY
grep -q "a new agent's window answers" "$LOG" || fail "the log does not say a new agent answers"
say "playing the paused song on"
"${DRIVE[@]}" 'Player.PlayPause={"playerid":0}' sleep:2 || fail "Kodi did not play on"
"$REPLAY" --trace "$TMP/panel-2.trace" >"$TMP/panel-2.txt" || fail "lumora-replay --trace failed"
grep -q '^text2 .*Café Song ? Live' "$TMP/panel-2.txt" ||
  fail "the new agent's panel never showed the song: $(grep '^text2' "$TMP/panel-2.txt" | tail -n 5)"

# The agent gone while the song plays: the next play time's delivery fails, the follower looks
# for the agent at once and then each second, and tells the one that comes everything again,
# the song playing.
say "the agent closed and started again while the song plays"
log_lines=$(wc -l <"$LOG")
timeout 60 "$WINE" "$BIN/lumora-send.exe" --close || fail "lumora-send.exe --close failed"
wait "$AGENT_PID" 2>/dev/null
AGENT_PID=
sleep 2
start_agent 3
wait_for "$TMP/received-3.scn" 'event [0-9]* PlayTime' 15 \
  "the agent started while the song plays was not told it within 15 s"
python3 -B - "$SOURCE_DIR/tests/sources" "$TMP/received-3.scn" <<'PY' || fail "the agent started while the song plays was not told everything again"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import events_of, finder, song_told
events = events_of(sys.argv[2])
find = finder(events)
if events[0] != "1 SessionOpened":
    sys.exit(f"the new agent's first event is {events[0]}")
at = find(r"1 Nav\w+", 1, "Kodi's menu")
sid, opened = song_told(events, find, at + 1)
at = find(sid + r' PlayTime "\d+"', opened + 1, "the play time")
if any(e == sid + " Pause" for e in events[opened:at]):
    sys.exit("the playing song was told paused")
PY
tail -n +$((log_lines + 1)) "$LOG" | grep -q 'no window titled "Lumora": waiting for the agent' ||
  fail "the log does not say the follower waits for the agent once it was gone"

say "killing Kodi"
kodi_kill
wait_for "$LOG" "Kodi closed the connection" 10 "lumora-follow.exe did not see Kodi go"
# The closes reach the agent one message at a time (it may be in a wait of its own): up to 10 s.
closed() {
  python3 -B - "$SOURCE_DIR/tests/sources" "$TMP/received-3.scn" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from received_events import closed_at_end, events_of
closed_at_end(events_of(sys.argv[2]))
PY
}
for ((i = 0; i < 50; ++i)); do closed 2>/dev/null && break; sleep 0.2; done
closed || fail "the follower did not close what it had opened"

say "starting Kodi again"
kodi_start
for ((i = 0; i < 300; ++i)); do
  (($(grep -c '^event 1 SessionOpened' "$TMP/received-3.scn") > 1)) && break
  sleep 0.1
done
(($(grep -c '^event 1 SessionOpened' "$TMP/received-3.scn") > 1)) ||
  fail "lumora-follow.exe did not follow Kodi after its restart"

say "ending the follower by WM_CLOSE to its window"
timeout 30 "$WINE" taskkill /im lumora-follow.exe >"$TMP/taskkill.log" 2>&1 ||
  fail "taskkill could not reach the follower's window"
for ((i = 0; i < 100; ++i)); do
  kill -0 "$FOLLOWER_PID" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$FOLLOWER_PID" 2>/dev/null && fail "lumora-follow.exe did not end within 10 s of WM_CLOSE"
wait "$FOLLOWER_PID"
status=$?
FOLLOWER_PID=
((status == 0)) || fail "lumora-follow.exe ended with status $status after WM_CLOSE"
[[ $(grep '^event' "$TMP/received-3.scn" | tail -n 1) == "event 1 SessionClosed" ]] ||
  fail "the follower did not close the shell session at its end"
grep -q "stopped; the sessions it opened are closed" "$LOG" || fail "the log does not say it stopped"
timeout 60 "$WINE" "$BIN/lumora-send.exe" --close || fail "lumora-send.exe --close failed"
say "PASS"
