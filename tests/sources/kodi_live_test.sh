#!/usr/bin/env bash
# `lumora kodi` against the real Kodi: the agent (`lumora run`) and the bridge started before
# Kodi, which the bridge waits for; then a tagged song played through JSON-RPC, paused, played,
# sought, the volume changed, stopped, the music window and home; the events the agent received
# (its recording) and its panel checked against what docs/sources.md says they must be. Then
# Kodi is killed while a song plays (the bridge closes what it opened) and started again (the
# bridge follows it again).
#
#   kodi_live_test.sh SOURCE_DIR LUMORA
#
# Exits 77 when Xvfb, Kodi, PulseAudio, ffmpeg or python3 is missing.
set -u
SOURCE_DIR=$1
LUMORA=$2
HERE=$SOURCE_DIR/tests/sources
source "$HERE/kodi_lib.sh"
kodi_need

TMP=$(mktemp -d /tmp/lumora-kodi-live.XXXXXX)
AGENT_PID= BRIDGE_PID=
finish() {
  [[ -n $BRIDGE_PID ]] && kill "$BRIDGE_PID" 2>/dev/null && wait "$BRIDGE_PID" 2>/dev/null
  [[ -n $AGENT_PID ]] && kill "$AGENT_PID" 2>/dev/null && wait "$AGENT_PID" 2>/dev/null
  kodi_cleanup
  if [[ -n ${LUMORA_KODI_KEEP:-} ]]; then echo "kept $TMP"; else rm -rf "$TMP"; fi
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  echo "--- bridge"; cat "$TMP/bridge.err" 2>/dev/null
  echo "--- events the agent received"; grep '^event' "$TMP/received.scn" 2>/dev/null
  exit 1
}
cd "$TMP" || exit 1
ulimit -c 0  # a crashing Kodi leaves no core file behind

kodi_prepare
SONG="$TMP/song.mp3"
# The title carries an accent (one Windows-1252 byte on the panel) and a sign the panel's
# character set lacks (replaced by '?').
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -metadata "title=Café Song ★ Live" \
  -metadata "artist=The Testers" -metadata track=4 "$SONG" || fail "ffmpeg made no song"

SOCKET=$TMP/run/agent.sock
"$LUMORA" run --socket "$SOCKET" --panel plain --record "$TMP/received.scn" --quiet \
  >"$TMP/panel.txt" 2>"$TMP/agent.err" &
AGENT_PID=$!
"$LUMORA" kodi --port "$KODI_PORT" --socket "$SOCKET" --capture "$TMP/capture.txt" \
  2>"$TMP/bridge.err" &
BRIDGE_PID=$!

# wait_for FILE PATTERN SECONDS WHAT
wait_for() {
  local i
  for ((i = 0; i < $3 * 10; ++i)); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$4"
}

wait_for "$TMP/bridge.err" "Kodi is not answering on 127.0.0.1:$KODI_PORT" 5 \
  "the bridge did not say that it waits for Kodi"
kodi_start
wait_for "$TMP/received.scn" "event 1 NavHome" 20 "no shell session after Kodi started"

DRIVE=(python3 "$HERE/kodi_drive.py" "$KODI_PORT")
# Six seconds of play before the pause: on a loaded machine the first play time can come two
# seconds late, and the check wants three of them.
"${DRIVE[@]}" "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:6 \
  'Player.PlayPause={"playerid":0}' sleep:1.5 'Player.PlayPause={"playerid":0}' \
  'Player.Seek={"playerid":0,"value":{"seconds":20}}' sleep:1.5 \
  'Application.SetVolume={"volume":10}' sleep:1 'Player.Stop={"playerid":0}' sleep:1 \
  'GUI.ActivateWindow={"window":"music"}' sleep:2 'GUI.ActivateWindow={"window":"home"}' ||
  fail "Kodi did not take the scenario"
wait_for "$TMP/received.scn" "event 1 NavHome" 5 "no second NavHome"
sleep 1.5

# The events in their order, as docs/sources.md maps the scenario: the shell and its first menu
# with the volume Kodi starts with (100 %); the song's session with its start event, track,
# title (Windows-1252: the accent is the byte E9, the star a '?'), artist and Play; play times;
# Pause and Play; a play time of at least 20 s right after the seek; the level of 10 % (2 of
# the bar's 16 segments: step 1, level 1, the Level 2); Stop and the close, and the panel back
# on Kodi's menu (home); then the two menus.
python3 -B - "$HERE" "$TMP/received.scn" <<'PY' || fail "the events the agent received are not the expected ones"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import events_of, finder, song_told
events = events_of(sys.argv[2])
find = finder(events)
at = find(r"1 SessionOpened", 0, "the shell session")
at = find(r"1 NavHome", at + 1, "the home menu")
at = find(r'1 Level "50"', at + 1, "the level of 100 %")
sid, at = song_told(events, find, at + 1)
times = []
pause = find(sid + r" Pause", at + 1, "Pause")
times = [int(e.split('"')[1]) for e in events[at:pause] if e.startswith(sid + " PlayTime")]
# Asked once a second, a time may fall a second short or over: it advances by 1 or 2.
steps = [b - a for a, b in zip(times, times[1:])]
if len(times) < 3 or any(step not in (1, 2) for step in steps):
    sys.exit(f"play times not advancing once a second before the pause: {times}")
at = find(sid + r" Play", pause + 1, "Play after the pause")
seek = find(sid + r' PlayTime "\d+"', at + 1, "the play time after the seek")
if int(events[seek].split('"')[1]) < 20:
    sys.exit(f"the play time after the seek is {events[seek]}")
at = find(sid + r' Level "2"', seek + 1, "the level of 10 %")
at = find(sid + r" Stop", at + 1, "Stop")
at = find(sid + r" SessionClosed", at + 1, "the close of the song's session")
if events[at + 1] != "1 NavHome":
    sys.exit(f"after the close, {events[at + 1]}, not Kodi's menu again")
at = find(r"1 NavMusic", at + 1, "the music menu")
at = find(r"1 NavHome", at + 1, "home again")
PY

# The panel: the title with the music icon and the play icon, then the pause icon; the level bar
# full at 100 % and 2 segments at 10 %; "Music" after the close.
grep -q 'L2 "Café Song ? Live".*icons PLAY MUSIC' "$TMP/panel.txt" ||
  fail "the panel never showed the title with the play and music icons"
grep -q 'L2 "Café Song ? Live".*icons PAUSE MUSIC' "$TMP/panel.txt" ||
  fail "the panel never showed the pause icon"
grep -q 'L2 "Music"' "$TMP/panel.txt" || fail "the panel never showed the menu name Music"
grep -q 'level 16/16' "$TMP/panel.txt" || fail "the level bar never showed the full volume"
grep -q 'level 2/16' "$TMP/panel.txt" || fail "the level bar never followed the volume"

# Kodi killed while a song plays: the bridge stops and closes that session and the shell's.
"${DRIVE[@]}" "Player.Open={\"item\":{\"file\":\"$SONG\"}}" time:2 || fail "no second play"
sleep 1
kodi_kill
wait_for "$TMP/bridge.err" "Kodi closed the connection" 5 "the bridge did not see Kodi go"
sleep 0.5
python3 -B - "$HERE" "$TMP/received.scn" <<'PY' || fail "the bridge did not close what it had opened"
import sys
sys.path.insert(0, sys.argv[1])
from received_events import closed_at_end, events_of
closed_at_end(events_of(sys.argv[2]))
PY

# Kodi again: the bridge follows it and opens the shell once more.
opened_before=$(grep -c '^event 1 SessionOpened' "$TMP/received.scn")
kodi_start
for ((i = 0; i < 200; ++i)); do
  (($(grep -c '^event 1 SessionOpened' "$TMP/received.scn") > opened_before)) && break
  sleep 0.1
done
(($(grep -c '^event 1 SessionOpened' "$TMP/received.scn") > opened_before)) ||
  fail "the bridge did not follow Kodi after its restart"
# (A Kodi still starting may take a connection and close it once more: at least twice, then.)
(($(grep -c "following Kodi on" "$TMP/bridge.err") >= 2)) || fail "the bridge did not say it follows Kodi again"

# A stop signal: the bridge closes the shell session and ends with status 0.
kill -TERM "$BRIDGE_PID"
wait "$BRIDGE_PID"
status=$?
BRIDGE_PID=
((status == 0)) || fail "the bridge ended with status $status"
[[ $(grep '^event' "$TMP/received.scn" | tail -n 1) == "event 1 SessionClosed" ]] ||
  fail "the bridge did not close the shell session at its end"
echo "PASS"
