#!/usr/bin/env bash
# lumora mpris against the real Chromium on a virtual display and a private session bus the test
# starts: a page of the test's own (mpris_page.html) plays an audio element and names it through
# the Media Session, "Café Tone" by "The Sines". playerctl pauses it, plays it and moves it to
# 0:30, where the page names a second piece; then Chromium quits. Chromium names a track before
# its title, gives the title, artist and album in three updates each, and a pause as a rate of 0
# before the state: the panel must show each piece once. What the agent received must be the
# events written by hand in mpris_chromium.events.
#
#   mpris_chromium_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK TEST_DIR [CAPTURE_FILE]
set -euo pipefail
lumora=$1 replay=$2 check=$3 here=$4 capture=${5:-}

# shellcheck source=tests/mpris/mpris_lib.sh
source "$here/mpris_lib.sh"
mpris_need dbus-daemon:dbus chromium:chromium Xvfb:xvfb playerctl:playerctl ffmpeg:ffmpeg

mpris_start chromium
mpris_display
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -c:a libvorbis "$work/tone.ogg"
cp "$here/mpris_page.html" "$work/page.html"

chromium --no-sandbox --user-data-dir="$work/profile" --autoplay-policy=no-user-gesture-required \
  --no-first-run --disable-gpu --disable-background-networking --disable-component-update \
  --disable-sync "file://$work/page.html" >"$work/chromium.log" 2>&1 &
browser=$!
pids+=("$browser")
WAIT_STEPS=600 wait_for "the page playing" status_of chromium Playing
wait_for "the title at the agent" received '^event 2 MusicTitle "Caf\\xe9 Tone"$'
sleep 2.2
playerctl -p chromium pause
wait_for "the pause at the agent" received '^event 2 Pause$'
playerctl -p chromium play
wait_for "the play again at the agent" received '^event 2 Play$' 2
playerctl -p chromium position 30
wait_for "the seek at the agent" received '^event 2 PlayTime "000030"$'
wait_for "the second piece at the agent" received '^event 2 MusicTitle "Second Piece"$'
sleep 1.2
kill "$browser"
wait_for "the shell session closed" received '^event 1 SessionClosed$'
mpris_finish "$here/mpris_chromium.events" "$capture"
echo "lumora mpris followed a page in Chromium ($events events)"
