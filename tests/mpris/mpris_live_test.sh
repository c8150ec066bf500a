#!/usr/bin/env bash
# lumora mpris against the real mpv with its MPRIS plug-in (mpv-mpris), on a private session bus
# the test starts (dbus-daemon), driven by playerctl as a user would: a tagged song plays,
# pauses, plays, is moved to 0:30 and turned down to half; a second mpv takes the panel with its own song; the first
# one paused in the background takes it back; the second quits (its session closes, the first
# is shown again), then the first (the panel has its clock back). What the agent received (its
# recording) must be the events written by hand in mpris_live.events, and the agent's trace the
# one a replay of those events gives.
#
#   mpris_live_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK TEST_DIR [CAPTURE_DIR]
# CAPTURE_DIR, when given, receives the player updates lumora mpris read (its -v lines): the
# source of the adapter's fixtures.
set -euo pipefail
lumora=$1 replay=$2 check=$3 here=$4 capture=${5:-}

# shellcheck source=tests/mpris/mpris_lib.sh
source "$here/mpris_lib.sh"
mpris_need dbus-daemon:dbus mpv:mpv playerctl:playerctl ffmpeg:ffmpeg
plugin=/etc/mpv/scripts/mpris.so
if [[ ! -f $plugin ]]; then
  echo "SKIP: $plugin is missing (Debian package mpv-mpris)"
  exit 77
fi

mpris_start mpris
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -metadata title="Evening Tone" \
  -metadata artist="The Sines" -metadata album="Test Tones" "$work/first.mp3"
ffmpeg -loglevel error -f lavfi -i sine=f=660:d=60 -metadata title="Second Tone" \
  -metadata artist="Other Band" "$work/second.mp3"

play() {  # FILE: starts an mpv on the bus; its pid in $REPLY
  mpv --no-config --script="$plugin" --ao=null --no-video --idle=no "$1" >"$work/mpv-$(basename "$1").log" 2>&1 &
  REPLY=$!
  pids+=("$REPLY")
}

play "$work/first.mp3"
first=$REPLY
wait_for "the first player playing" status_of mpv Playing
wait_for "the first title at the agent" received '^event 2 MusicTitle "Evening Tone"$'
sleep 2.2
playerctl -p mpv pause
wait_for "the pause at the agent" received '^event 2 Pause$'
playerctl -p mpv play
wait_for "the play again at the agent" received '^event 2 Play$' 2
playerctl -p mpv position 30
wait_for "the seek at the agent" received '^event 2 PlayTime "000030"$'
playerctl -p mpv volume 0.5
wait_for "the volume at the agent" received '^event 2 Level "24"$'
sleep 1.2

play "$work/second.mp3"
second=$REPLY
wait_for "the second player at the agent" received '^event 3 MusicTitle "Second Tone"$'
sleep 2.2
# The first player, paused in the background, takes the panel back.
playerctl -p mpv pause
wait_for "the first player's pause at the agent" received '^event 2 Pause$' 2
# The second, paused too, takes it again; then it quits: its session closes and the first is
# shown again. Then the first quits.
playerctl -p "mpv.instance$second" pause
wait_for "the second player's pause at the agent" received '^event 3 Pause$'
kill "$second"
wait_for "the second session closed" received '^event 3 SessionClosed$'
wait_for "the first player shown again" received '^event 2 Pause$' 3
kill "$first"
wait_for "the shell session closed" received '^event 1 SessionClosed$'
mpris_finish "$here/mpris_live.events" "${capture:+$capture/mpris_live.updates}"

# --- the agent away: not there at start, then there, then gone and back ------------------------
# The bridge waits for it in one line, tells it what plays when it comes, and again when it comes
# back after a restart; stopped, it closes what it opened.
socket=$work/later.sock
"$lumora" mpris --socket "$socket" 2>"$work/waiting.log" &
bridge=$!
pids+=("$bridge")
wait_for "the note that no agent runs" grep -qxF "lumora mpris: no agent on $socket; waiting for it" "$work/waiting.log"
play "$work/first.mp3"
first=$REPLY
wait_for "the player playing" status_of mpv Playing
sleep 0.5
start_later() {  # RECORDING
  "$lumora" run --socket "$socket" --panel none --quiet --record "$1" 2>>"$work/agent.log" &
  agent=$!
  pids+=("$agent")
}
start_later "$work/later1.rec"
# The shell on Home, then the player's session, and the level of its volume known meanwhile.
# (Session 2 went with the first attempt, which the agent never received.)
first_told=("event 1 SessionOpened" "event 1 NavHome" "event 3 SessionOpened"
  "event 3 MusicStarted" 'event 3 MusicTitle "Evening Tone"' 'event 3 ExtraText "The Sines"'
  "event 3 Play")
told() {  # RECORDING: the recording starts with the events of first_told, then has the level
  [[ $(grep '^event ' "$1" 2>/dev/null | head -${#first_told[@]}) == "$(printf '%s\n' "${first_told[@]}")" ]] &&
    grep -q "^${first_told[2]% *} Level \"50\"$" "$1"
}
wait_for "the playing song told to the agent that came" told "$work/later1.rec"
"$lumora" send --socket "$socket" --close || fail "lumora send --close failed"
wait "$agent" || fail "the agent ended with status $?"
wait_for "the note that the agent is gone" grep -q "^lumora mpris: the agent on $socket is gone (.*); waiting for it$" "$work/waiting.log"
start_later "$work/later2.rec"
first_told=("event 1 SessionOpened" "event 1 NavHome" "event 4 SessionOpened"
  "event 4 MusicStarted" 'event 4 MusicTitle "Evening Tone"' 'event 4 ExtraText "The Sines"'
  "event 4 Play")
wait_for "the playing song told to the agent that came back" told "$work/later2.rec"
# Stopped while the song plays, the bridge closes what it opened: the player's session, stopped
# first, then the shell's.
kill -TERM "$bridge"
wait "$bridge" || fail "lumora mpris ended with status $?"
[[ $(grep '^event ' "$work/later2.rec" | tail -3) == $'event 4 Stop\nevent 4 SessionClosed\nevent 1 SessionClosed' ]] ||
  fail "lumora mpris did not close what it opened when stopped: $(grep '^event ' "$work/later2.rec" | tail -3)"
kill "$first"
"$lumora" send --socket "$socket" --close || fail "lumora send --close failed"
wait "$agent" || fail "the agent ended with status $?"
answers=$(grep -cxF "lumora mpris: the agent on $socket answers" "$work/waiting.log" || true)
((answers == 2)) || fail "lumora mpris said $answers times that the agent answers, not 2"

# --- no session bus: one line, status 1 -----------------------------------------------------------
status=0
DBUS_SESSION_BUS_ADDRESS=unix:path=$work/nobus "$lumora" mpris --socket "$socket" 2>"$work/nobus.log" || status=$?
((status == 1)) || fail "lumora mpris without a session bus ended with status $status, not 1"
[[ $(cat "$work/nobus.log") == "lumora mpris: no session bus (No such file or directory): no player can be followed" ]] ||
  fail "lumora mpris without a session bus said: $(cat "$work/nobus.log")"

echo "lumora mpris followed two mpv players ($events events), waited for the agent, and said there was no bus"
