#!/usr/bin/env bash
# The follower's latency with three sources active: a private session bus with two mpv playing
# (the desktop players), and lumora_follow_latency as Kodi's side and the agent's side of
# `lumora follow` (bench/follow_latency.cpp).
#
#   bench/follow_latency.sh BIN_DIR [--notifications N]
set -euo pipefail
bin=$1
shift
for tool in dbus-daemon:dbus mpv:mpv ffmpeg:ffmpeg; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "follow_latency: ${tool%%:*} is missing (Debian package ${tool#*:})" >&2; exit 1; }
done
[[ -f /etc/mpv/scripts/mpris.so ]] ||
  { echo "follow_latency: mpv-mpris is missing (Debian package mpv-mpris)" >&2; exit 1; }
work=$(mktemp -d /tmp/lumora-follow-latency-XXXXXX)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --address="unix:path=$work/bus")
export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
pids+=("${bus##*$'\n'}")
for tone in 440 660; do
  ffmpeg -loglevel error -f lavfi -i "sine=f=$tone:d=600" -metadata title="Tone $tone" \
    -metadata artist="Bench" "$work/$tone.mp3"
  mpv --no-config --script=/etc/mpv/scripts/mpris.so --ao=null --no-video --idle=no \
    "$work/$tone.mp3" >/dev/null 2>&1 &
  pids+=("$!")
done
sleep 2  # the players on the bus, playing
"$bin/lumora_follow_latency" "$bin/lumora" "$@"
