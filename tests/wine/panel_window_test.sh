#!/usr/bin/env bash
# The on-screen PanelDrv.dll under Wine on a virtual X display: Lumora.exe runs with it in
# place of the recording library, lumora-send.exe sends a known scenario, and a screenshot of
# the window's face must match the reference picture committed beside this script.
#
#   panel_window_test.sh SOURCE_DIR ARTEFACT_DIR REPLAY FACE_PICTURE
#
#  1. After panel_window/recorded_tv.scn the face (the client area, placed at 40,40 by
#     LUMORA_PANEL_WINDOW) must equal panel_window/recorded_tv.png: "Wild Coasts" and
#     "00:15:00" in the dot-matrix font, TV and PLAY lit, 11 of 16 level segments.
#  2. After a suspend (power 4) the panel runs its own clock with the machine's date and time,
#     so its two lines are masked: the rest must equal panel_window/panel_clock.png (every icon
#     and segment unlit, "PANEL CLOCK" under the glass), and two screenshots two seconds apart
#     must differ on line 3 (the clock runs in the window) but not on line 2 (the date).
#  3. After a resume and panel_window/titles.scn (a title in Windows-1252 characters beyond
#     ASCII), the face must equal the picture that FACE_PICTURE (lumora_face_picture) draws from
#     the font table for REPLAY's (lumora-replay's) trace of the same messages.
#
# The screenshots are kept in ARTEFACT_DIR. Exit status 77 (skipped) when a tool is missing:
# Wine (wine64), Xvfb (xvfb), ImageMagick (imagemagick) or the mingw-w64 compiler
# (g++-mingw-w64-x86-64-posix). The cross build is the x64 one
# that tests/wine/wine_lib.sh's windows_build names; LUMORA_WINE_KEEP=1 keeps the temporary folder.
set -euo pipefail

if (($# != 4)); then
  echo "usage: panel_window_test.sh SOURCE_DIR ARTEFACT_DIR REPLAY FACE_PICTURE" >&2
  exit 2
fi
SOURCE_DIR=$(cd "$1" && pwd)
ARTEFACTS=$2
REPLAY=$3
FACE_PICTURE=$4
HERE=$SOURCE_DIR/tests/wine/panel_window
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# The face: its size (paneldrv/window/panel_face.h) and where the test places it.
FACE_W=528
FACE_H=200
FACE_X=40
FACE_Y=40
# The two text lines of the face, including their cells (kLine2Top, kLine3Top, kCellHeight).
LINE2=${FACE_W}x36+0+30
LINE3=${FACE_W}x36+0+72
# How many pixels may differ from a reference (none are expected: the face is drawn pixel by
# pixel from a built-in font).
TOLERANCE=20

TEST_NAME=panel_window
. "$SOURCE_DIR/tests/wine/wine_lib.sh"
MINGW_BUILD=$(windows_build "$SOURCE_DIR" x64)


trap wine_cleanup EXIT
trap 'exit 130' INT TERM

# --- Tools (installed by scripts/install-deps.sh, never here) --------------------------------
[[ -x $WINE ]] || skip "$WINE is missing: install the Debian package wine64"
command -v Xvfb >/dev/null || skip "Xvfb is missing: install the Debian package xvfb"
for tool in import compare; do
  command -v "$tool" >/dev/null || skip "$tool is missing: install the Debian package imagemagick"
done
command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
  skip "the mingw-w64 compiler is missing: install the Debian package g++-mingw-w64-x86-64-posix"

# --- Cross build -----------------------------------------------------------------------------
mkdir -p "$ARTEFACTS"
say "building Lumora.exe, the on-screen PanelDrv.dll and lumora-send.exe in $MINGW_BUILD"
wine_build "$SOURCE_DIR" mingw-x64 "$MINGW_BUILD" build-panel-window.log Lumora lumora-send paneldrv_window
BIN=$MINGW_BUILD/bin
for program in Lumora.exe lumora-send.exe window/PanelDrv.dll; do
  [[ -f $BIN/$program ]] || fail "the build made no $BIN/$program"
done

# --- Virtual display and Wine prefix ---------------------------------------------------------
say "preparing a Wine prefix on a virtual display"
wine_start
# The agent loads the PanelDrv.dll beside it: here the on-screen one.
mkdir -p "$TMP/app"
cp "$BIN/Lumora.exe" "$BIN/window/PanelDrv.dll" "$TMP/app/"

send() { timeout 90 "$WINE" "$BIN/lumora-send.exe" "$@"; }

# The face on the screen, as a PNG of exactly its size.
capture() {
  import -display "$DISPLAY" -window root -crop "${FACE_W}x${FACE_H}+${FACE_X}+${FACE_Y}" \
    +repage "$1" || fail "cannot take a screenshot of $DISPLAY"
}

# The number of pixels that differ between two pictures (or the same region of both).
differing() {
  local count
  count=$(compare -metric AE "$1" "$2" null: 2>&1) || true
  [[ $count =~ ^[0-9]+$ ]] || fail "compare $1 $2: $count"
  echo "$count"
}

# --- The agent with the on-screen panel ------------------------------------------------------
say "Lumora.exe with the on-screen PanelDrv.dll"
(cd "$TMP/app" && LUMORA_PANEL_WINDOW=$FACE_X,$FACE_Y exec "$WINE" Lumora.exe) \
  >"$TMP/lumora.log" 2>&1 &
AGENT_PID=$!
send --test-wait-window 60 || fail "Lumora.exe showed no hidden window \"Lumora\" within 60 s"
send --file "Z:$HERE/recorded_tv.scn" || fail "lumora-send.exe --file recorded_tv.scn failed"
sleep 1  # a repaint is asked for, not waited for

# 1. The face after the scenario.
face=$ARTEFACTS/panel_window_recorded_tv.png
capture "$face"
diff=$(differing "$face" "$HERE/recorded_tv.png")
((diff <= TOLERANCE)) ||
  fail "$diff pixels of $face differ from recorded_tv.png (at most $TOLERANCE may)"
say "the face after recorded_tv.scn matches recorded_tv.png ($diff pixels differ)"

# 2. The panel's own clock after a suspend.
send --power 4 || fail "lumora-send.exe --power 4 failed"
sleep 1.2
first=$ARTEFACTS/panel_window_clock_1.png
second=$ARTEFACTS/panel_window_clock_2.png
capture "$first"
sleep 2
capture "$second"
# Everything but the two lines is the same on every machine.
above=${FACE_W}x30+0+0
below=${FACE_W}x$((FACE_H - 108))+0+108
for region in "$above" "$below"; do
  diff=$(differing "$first[$region]" "$HERE/panel_clock.png[$region]")
  ((diff <= TOLERANCE)) ||
    fail "$diff pixels of $first in $region differ from panel_clock.png (at most $TOLERANCE may)"
done
diff=$(differing "$first[$LINE3]" "$second[$LINE3]")
((diff > 0)) || fail "the panel clock's time stood still in the window for 2 s"
diff=$(differing "$first[$LINE2]" "$second[$LINE2]")
((diff == 0)) || fail "the panel clock's date changed within 2 s ($diff pixels)"
say "the panel clock runs in the window and the rest of its face matches panel_clock.png"

send --power 7 || fail "lumora-send.exe --power 7 failed"

# 3. A title in the panel's characters beyond ASCII, against the face drawn from the font table
# for the same messages (the replay's clock is not the machine's: only what the time of day
# does not change is compared, hence the play time on line 3 and no clock running).
send --file "Z:$HERE/titles.scn" || fail "lumora-send.exe --file titles.scn failed"
sleep 1
face=$ARTEFACTS/panel_window_titles.png
capture "$face"
printf 'power 4\npower 7\n' >"$TMP/suspend.scn"
cat "$HERE/recorded_tv.scn" "$TMP/suspend.scn" "$HERE/titles.scn" | "$REPLAY" >"$TMP/titles.trace" ||
  fail "lumora-replay refused recorded_tv.scn and titles.scn"
"$FACE_PICTURE" "$TMP/titles.trace" "$TMP/titles.ppm" || fail "lumora_face_picture failed"
diff=$(differing "$face" "$TMP/titles.ppm")
((diff <= TOLERANCE)) ||
  fail "$diff pixels of $face differ from the face drawn from the font table (at most $TOLERANCE may)"
say "the title in Windows-1252 characters matches the face drawn from the font table"

send --close || fail "lumora-send.exe --close failed"
deadline=$((SECONDS + 30))
while kill -0 "$AGENT_PID" 2>/dev/null; do
  ((SECONDS < deadline)) || fail "Lumora.exe did not end within 30 s of WM_CLOSE"
  sleep 0.2
done
status=0
wait "$AGENT_PID" || status=$?
AGENT_PID=
((status == 0)) || fail "Lumora.exe ended with status $status"
say "passed"
