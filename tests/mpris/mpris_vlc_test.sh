#!/usr/bin/env bash
# lumora mpris against the real VLC (its D-Bus control interface, the silent audio output, no
# graphical interface) on a private session bus the test starts, driven by playerctl as a user
# would: a song tagged by ffmpeg with an accented title and a track number plays, pauses, plays,
# is moved to 0:30, and VLC quits. VLC owns two names for one player (vlc and vlc.instancePID)
# and gives its track number as text: the panel must show one player with its number. What the
# agent received must be the events written by hand in mpris_vlc.events.
#
#   mpris_vlc_test.sh LUMORA LUMORA_REPLAY TRACE_CHECK TEST_DIR [CAPTURE_FILE]
# VLC refuses to run as root: run as root, the test starts it as nobody on a bus open to it.
set -euo pipefail
lumora=$1 replay=$2 check=$3 here=$4 capture=${5:-}

# shellcheck source=tests/mpris/mpris_lib.sh
source "$here/mpris_lib.sh"
mpris_need dbus-daemon:dbus cvlc:vlc-bin playerctl:playerctl ffmpeg:ffmpeg setpriv:util-linux
if ! compgen -G "/usr/lib/*/vlc/plugins/control/libdbus_plugin.so" >/dev/null; then
  echo "SKIP: VLC's D-Bus control is missing (Debian package vlc-plugin-base)"
  exit 77
fi

mpris_start vlc open
song=$work/player/song.mp3
ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -metadata title="Café Tone" \
  -metadata artist="The Sines" -metadata album="Test Tones" -metadata track=4 "$song"
chmod 644 "$song"

mpris_player "$work/vlc.log" cvlc --no-video --aout=adummy --control=dbus --play-and-exit "$song"
vlc=$REPLY
WAIT_STEPS=400 wait_for "VLC playing" status_of vlc Playing
wait_for "the title at the agent" received '^event 2 MusicTitle "Caf\\xe9 Tone"$'
sleep 2.2
playerctl -p vlc pause
wait_for "the pause at the agent" received '^event 2 Pause$'
playerctl -p vlc play
wait_for "the play again at the agent" received '^event 2 Play$' 2
playerctl -p vlc position 30
wait_for "the seek at the agent" received '^event 2 PlayTime "000030"$'
sleep 1.2
kill "$vlc"
wait_for "the shell session closed" received '^event 1 SessionClosed$'
mpris_finish "$here/mpris_vlc.events" "$capture"
echo "lumora mpris followed VLC ($events events)"
