#!/usr/bin/env bash
# lumora mpris against the real Firefox ESR on a virtual display, a PulseAudio null sink and a
# private session bus the test starts: the test's own page (mpris_page.html), served over HTTP
# as a web player is, plays an audio element named through the Media Session, "Café Tone" by "The
# Sines". playerctl pauses it, plays it and moves it to 0:30, where the page names a second
# piece; then Firefox quits. Firefox first names the item by the page's title with no length:
# the panel must not show it. What the agent received must be the events written by hand in
# mpris_firefox.events.
#
#   mpris_firefox_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK TEST_DIR [CAPTURE_FILE]
set -euo pipefail
lumora=$1 replay=$2 check=$3 here=$4 capture=${5:-}

# shellcheck source=tests/mpris/mpris_lib.sh
source "$here/mpris_lib.sh"
mpris_need dbus-daemon:dbus firefox-esr:firefox-esr Xvfb:xvfb pulseaudio:pulseaudio \
  playerctl:playerctl ffmpeg:ffmpeg python3:python3

mpris_start firefox
mpris_display
mpris_sound
mkdir "$work/site" "$work/profile"
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -c:a libvorbis "$work/site/tone.ogg"
cp "$here/mpris_page.html" "$work/site/page.html"
mpris_web "$work/site"
site=$REPLY
# Sound plays without a click; no first-run pages.
cat >"$work/profile/user.js" <<'JS'
user_pref("media.autoplay.default", 0);
user_pref("media.autoplay.blocking_policy", 0);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
JS

firefox-esr --no-remote --profile "$work/profile" "$site/page.html" >"$work/firefox.log" 2>&1 &
browser=$!
pids+=("$browser")
WAIT_STEPS=600 wait_for "the page playing" status_of firefox Playing
wait_for "the title at the agent" received '^event 2 MusicTitle "Caf\\xe9 Tone"$'
sleep 2.2
playerctl -p firefox pause
wait_for "the pause at the agent" received '^event 2 Pause$'
playerctl -p firefox play
wait_for "the play again at the agent" received '^event 2 Play$' 2
playerctl -p firefox position 30
wait_for "the seek at the agent" received '^event 2 PlayTime "000030"$'
wait_for "the second piece at the agent" received '^event 2 MusicTitle "Second Piece"$'
sleep 1.2
kill "$browser"
wait_for "the shell session closed" received '^event 1 SessionClosed$'
mpris_finish "$here/mpris_firefox.events" "$capture"
echo "lumora mpris followed a page in Firefox ESR ($events events)"
