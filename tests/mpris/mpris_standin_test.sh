#!/usr/bin/env bash
# lumora mpris against a stand-in player (standin_player.cpp) for what no real player here does,
# on a private session bus the test starts: positions in milliseconds where microseconds are due,
# no CanControl, and a title changed by saying only that Metadata changed. The play time must
# run in seconds (not stand at 0:00) and the new title must reach the panel. What the agent
# received must be the events written by hand in mpris_standin.events.
#
#   mpris_standin_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK TEST_DIR STANDIN_PLAYER
set -euo pipefail
lumora=$1 replay=$2 check=$3 here=$4 standin=$5

# shellcheck source=tests/mpris/mpris_lib.sh
source "$here/mpris_lib.sh"
mpris_need dbus-daemon:dbus

mpris_start standin
"$standin" 6000 >"$work/standin.log" 2>&1 &
player=$!
pids+=("$player")
wait_for "the title at the agent" received '^event 2 MusicTitle "Stand-in Song"$'
# Measured in milliseconds from the second and third asked positions: at 0:03 the play time
# says so.
wait_for "the play time of the third second" received '^event 2 PlayTime "000003"$'
wait_for "the changed title at the agent" received '^event 2 MusicTitle "Changed Title"$'
sleep 1.2
kill "$player"
wait_for "the shell session closed" received '^event 1 SessionClosed$'
mpris_finish "$here/mpris_standin.events"
echo "lumora mpris followed a player with positions in milliseconds ($events events)"
