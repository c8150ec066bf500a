#!/usr/bin/env bash
# The terminal face as a user sees it, in a real terminal emulator (tmux): the monochrome face of
# NO_COLOR at 40 columns, resized to 80, 30, 20 and 120 columns without debris, the last face
# left on screen with the cursor right below it; a resize while output scrolls below the panel; the
# log of -v kept through a resize and the end; the colour face and the end of `lumora demo
# --fast`, every caption kept; a dumb terminal given no escape at all; Ctrl-C in the middle of
# the demo.
#
#   terminal_faces_test.sh BIN_DIR EVENING_SCN
set -u
bin=$1
evening=$2
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is missing (Debian package tmux)"
  exit 77
fi
export LC_ALL=C.UTF-8
tmp=$(mktemp -d)
fail=0
server=0
tm() { tmux -f /dev/null -S "$tmp/tmux$server.sock" "$@"; }
trap 'for s in "$tmp"/tmux*.sock; do [ -S "$s" ] && tmux -S "$s" kill-server 2>/dev/null; done; rm -rf "$tmp"' EXIT

lumora=$bin/lumora
socket=$tmp/agent.sock

# A new terminal COLUMNS wide and 20 high, running COMMAND (by sh), which then says how it ended
# and waits, so that the screen it leaves can be read.
open_terminal() {
  server=$((server + 1))
  tm new-session -d -x "$1" -y 20 "$2; echo \"ended: \$?\"; sleep 120"
}
close_terminal() { tm kill-server 2>/dev/null; }
capture() { tm capture-pane -p -t 0 "$@"; }
# Waits up to 20 seconds for the screen to hold an extended regular expression (a loaded
# machine running the sanitizer build starts the agent slowly; a screen that is right returns
# at once).
wait_for() {
  for _ in $(seq 400); do
    capture | grep -Eq -- "$1" && return 0
    sleep 0.05
  done
  return 1
}
must_see() {  # PATTERN WHAT-IS-MISSING
  wait_for "$1" || { echo "FAIL: $2"; fail=1; }
}
check() {  # NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1"
    echo "--- wanted:"
    printf '%s\n' "$2"
    echo "--- the screen:"
    printf '%s\n' "$3"
    fail=1
  fi
}
repeat() { local out=; for _ in $(seq "$2"); do out+=$1; done; printf '%s' "$out"; }
spaces() { printf "%$1s" ''; }
send() { "$lumora" send --socket "$socket" "$@" >/dev/null || { echo "FAIL: send $*"; fail=1; }; }

# The panel after Media Center started live TV on channel 7, playing, level 20: line 2 "CH-007",
# line 3 the time of day (a pattern), PLAY and TV lit, 7 of the 16 level segments lit.
clock='   ( [1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] [AP]M +'
wide_face() {  # WITH-CLOCK-PATTERN
  echo "╭$(repeat ─ 37) Lumora ─╮"
  echo "│  CH-007$(spaces 38)│"
  echo "│$clock│"
  echo "│  PLAY ..... ...... ...... ... ....... TV$(spaces 5)│"
  echo "│  ..... .. ..... ... ....... ...... ...$(spaces 7)│"
  echo "│  #######.........$(spaces 28)│"
  echo "╰$(repeat ─ 46)╯"
}
compact_face() {
  echo "╭$(repeat ─ 29) Lumora ─╮"
  echo "│  CH-007$(spaces 30)│"
  echo "│$clock│"
  echo "│  PLAY ..... ...... ...... ...$(spaces 8)│"
  echo "│  ....... TV ..... .. .....$(spaces 11)│"
  echo "│  ... ....... ...... ...$(spaces 14)│"
  echo "│  #######.........$(spaces 20)│"
  echo "╰$(repeat ─ 38)╯"
}
# From 24 to 39 columns: the text lines whole, the lit icons by name.
narrow_face() {
  echo "╭$(repeat ─ 13) Lumora ─╮"
  echo "│  CH-007$(spaces 14)│"
  echo "│$clock│"
  echo "│  PLAY TV$(spaces 13)│"
  echo "│$(spaces 22)│"
  echo "│$(spaces 22)│"
  echo "│  #######.........$(spaces 4)│"
  echo "╰$(repeat ─ 22)╯"
}
# The whole screen: the face's rows as patterns (the clock row) and the rest of the 20 rows as
# given (empty when not), compared row by row: nothing else may be on the screen.
check_screen() {  # NAME FACE-FUNCTION [ROWS BELOW THE PANEL...]
  local name=$1 face=$2
  shift 2
  local -a want got
  mapfile -t want < <($face)
  while [ ${#want[@]} -lt 8 ]; do want+=(""); done
  want+=("$@")
  while [ ${#want[@]} -lt 20 ]; do want+=(""); done
  mapfile -t got < <(capture)
  local i bad=0
  for i in $(seq 0 19); do
    local line=${got[$i]-}
    if [ "$line" != "${want[$i]}" ] && ! [[ $line =~ ^${want[$i]}$ && ${want[$i]} == *"$clock"* ]]; then
      bad=1
    fi
  done
  if [ $bad = 1 ]; then
    check "$name" "$(printf '%s\n' "${want[@]}")" "$(capture)"
  fi
}

# --- NO_COLOR at 40 columns, resized, and the end of `lumora run` ---
open_terminal 40 "env NO_COLOR=1 '$lumora' run --socket '$socket' --panel term --quiet"
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done
send 1 SessionOpened
send 1 NavLiveTv
send 2 SessionOpened
send 2 LiveTvStarted
send 2 ItemNumber 7
send 2 Play
send 2 Level 20
must_see '#######\.' "no level bar at 40 columns"
check_screen "NO_COLOR face at 40 columns" compact_face
check "no escape with NO_COLOR" "" "$(capture -e | grep -F $'\e')"

tm resize-window -t 0 -x 80 -y 20
must_see "^╰$(repeat ─ 46)╯$" "no wide face after the resize to 80 columns"
check_screen "resized to 80 columns" wide_face
tm resize-window -t 0 -x 30 -y 20
must_see "^╰$(repeat ─ 22)╯$" "no narrow face at 30 columns"
check_screen "resized to 30 columns" narrow_face
tm resize-window -t 0 -x 20 -y 20
must_see '^this terminal has 20$' "no note at 20 columns"
check "resized to 20 columns" "$(printf 'the panel needs 24\ncolumns;\nthis terminal has 20')" \
  "$(capture | sed '/^$/d')"
tm resize-window -t 0 -x 120 -y 20
must_see "^╰$(repeat ─ 46)╯$" "no wide face after the resize to 120 columns"
check_screen "resized to 120 columns" wide_face
tm resize-window -t 0 -x 40 -y 20
must_see "^╰$(repeat ─ 38)╯$" "no compact face after the resize back to 40 columns"
check_screen "resized back to 40 columns" compact_face

send --close
must_see '^ended: 0$' "the agent did not end"
# The last face where it was, the shell's next words right below it, the cursor after them.
check_screen "the end of lumora run" compact_face "ended: 0"
check "the cursor below the face" "0 9" "$(tm display-message -p -t 0 '#{cursor_x} #{cursor_y}')"
close_terminal

# --- A resize while other output scrolls below the panel ---
# 25 captions fill the rows below the panel, the terminal narrows to 40 columns and grows to 24
# rows, 25 more come: they scroll in all the rows below the face for the new size, which stays
# whole at the top.
# (A message first, which changes nothing on the panel: once its reply came, the agent has drawn
# its first face, which clears the screen, so the captions come after it.)
{
  echo "event 1 ItemNumber 1"
  for i in $(seq 25); do echo "#> before-$i"; done
  echo "# wait 2.5"
  for i in $(seq 25); do echo "#> after-$i"; done
  echo "# wait 1.5"
  echo "close"
} >"$tmp/captions.scn"
open_terminal 80 "env NO_COLOR=1 '$lumora' demo --scenario '$tmp/captions.scn'"
must_see '^▶ before-25$' "the captions before the resize"
tm resize-window -t 0 -x 40 -y 24
must_see "^╰$(repeat ─ 38)╯$" "no compact face after the resize in the middle of the output"
must_see '^▶ after-25$' "the captions after the resize"
mapfile -t rows < <(capture)
want=("╭$(repeat ─ 29) Lumora ─╮")
[[ ${rows[1]} =~ ^│\ \ .+│$ ]] && want+=("${rows[1]}") || want+=("(line 2)")
[[ ${rows[2]} =~ ^│\ \ .+│$ ]] && want+=("${rows[2]}") || want+=("(line 3)")
want+=("│  .... ..... ...... ...... ...        │" "│  ....... .. ..... .. .....           │"
  "│  ... ....... ...... ...              │" "│  ................                    │"
  "╰$(repeat ─ 38)╯")
# the last row: the cursor, after the last caption's line feed
for i in $(seq 11 25); do want+=("▶ after-$i"); done
want+=("")
check "a resize in the middle of the output" "$(printf '%s\n' "${want[@]}")" \
  "$(printf '%s\n' "${rows[@]}")"
close_terminal

# --- The demo at 30 columns: the narrow face, a caption broken between words ---
# (The caption after a message: once its reply came, the agent has drawn its first face.)
printf '%s\n' 'event 1 NavHome' '#> The phone rings: the caller shows over the pictures' \
  '# wait 1.5' close >"$tmp/narrow.scn"
open_terminal 30 "env NO_COLOR=1 '$lumora' demo --scenario '$tmp/narrow.scn'"
must_see '^ended: ' "the demo at 30 columns did not end"
mapfile -t rows < <(capture)
check "the demo at 30 columns" \
  "$(printf '%s\n' "╭$(repeat ─ 13) Lumora ─╮" "▶ The phone rings: the caller" \
    "  shows over the pictures")" "$(printf '%s\n' "${rows[0]}" "${rows[@]:8:2}")"
close_terminal

# --- The log of -v under the panel: kept through a resize and the end ---
# 60 messages, one log line each: the rows below the panel scroll, the lines that leave them go
# to the terminal's history. A wider terminal redraws the face and leaves the log as it was;
# at the end all 60 lines are there, once each and in order, the cursor under the last one.
open_terminal 80 "env NO_COLOR=1 '$lumora' run --socket '$socket' --panel term --quiet -v"
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.05; done
for i in $(seq 60); do send 1 ItemNumber "$i"; done
must_see ' event 1 ItemNumber "60" -> 0 packets$' "no log line for the 60th message"
log_rows() { capture | sed -n '9,19p'; }
before=$(log_rows)
[[ $before == *'ItemNumber "50"'* ]] || check "the log below the panel" "lines 50 to 60" "$(capture)"
tm resize-window -t 0 -x 100 -y 20
must_see "^╰$(repeat ─ 46)╯$" "no wide face after the resize to 100 columns"
sleep 0.5
check "the log after a resize" "$before" "$(log_rows)"
send --close
must_see '^ended: 0$' "the agent with -v did not end"
check "every log line after the end" "$(for i in $(seq 60); do echo "ItemNumber \"$i\""; done)" \
  "$(capture -S - | grep -o 'ItemNumber "[0-9]*"')"
check "the log's last line, then the shell" \
  "$(printf 'event 1 ItemNumber "60" -> 0 packets\nended: 0')" \
  "$(capture | sed '/^$/d' | tail -2 | sed 's/^[0-9:]* //')"
check "the cursor under the last line" "0 19" "$(tm display-message -p -t 0 '#{cursor_x} #{cursor_y}')"
close_terminal

# --- Colour at 80 columns: the end of the fast demo ---
open_terminal 80 "env -u NO_COLOR '$lumora' demo --fast"
must_see '^ended: ' "the demo did not end"
# The last face (the shell's lines after the end may have scrolled it into the terminal's
# history): the date and time back on the panel, every icon dim, by name.
mapfile -t all < <(capture -S -)
top=0
for i in "${!all[@]}"; do [[ ${all[$i]} == "╭$(repeat ─ 37) Lumora ─╮" ]] && top=$i; done
rows=("${all[@]:$top}")
date='([ 0-9][0-9] [A-Z]{3} [0-9]{4}|[A-Z]{3} [0-9]{2} [0-9]{4}|[0-9]{4}/[0-9]{2}/[0-9]{2} )'
[[ ${rows[0]} == "╭$(repeat ─ 37) Lumora ─╮" && ${rows[1]} =~ ^│\ \ $date\ +│$ &&
  ${rows[2]} =~ ^│$clock│$ && ${rows[3]} == "│  PLAY PAUSE SCAN A SCAN B AUX PICTURE TV     │" &&
  ${rows[6]} == "╰$(repeat ─ 46)╯" && -z ${rows[7]} ]] ||
  check "the last face of the demo" "the panel showing the date and time" "$(capture)"
# Every caption stays, once each, in the order played (those that scrolled off the rows below
# the panel in the terminal's history), the demo's last words under the last one.
check "the captions after the demo" "$(grep '^#>' "$evening" | sed 's/^#> */▶ /')" \
  "$(capture -S - | grep '^▶ ')"
mapfile -t words < <(capture | sed '/^$/d')
check "the words after the demo" \
  "$(printf '%s\n' "▶ Good night: the agent ends, the panel keeps its last face" \
    "The evening is over." "ended: 0")" "$(printf '%s\n' "${words[@]: -3}")"
capture -e | grep -q '38;5;86' || { echo "FAIL: no colour in the colour face"; fail=1; }
close_terminal

# --- A dumb terminal: no escape at all, the faces as lines ---
open_terminal 80 "read go; env -u NO_COLOR TERM=dumb '$lumora' demo --fast"
tm pipe-pane -o -t 0 "cat >'$tmp/raw'"
tm send-keys -t 0 Enter
must_see '^ended: ' "the demo on a dumb terminal did not end"
sleep 0.2
if grep -q $'\e' "$tmp/raw"; then
  echo "FAIL: escapes written to a dumb terminal:"
  grep -a $'\e' "$tmp/raw" | head -3 | od -c | head
  fail=1
fi
grep -q "│  PLAY ..... ...... ...... ... ....... TV     │" "$tmp/raw" ||
  { echo "FAIL: no face with PLAY and TV lit on the dumb terminal"; fail=1; }
grep -q "^The evening is over." "$tmp/raw" || { echo "FAIL: the dumb demo did not finish"; fail=1; }
close_terminal

# --- Ctrl-C in the middle of the demo: the face stays, the cursor below it ---
open_terminal 80 "'$lumora' demo"
must_see 'The PC is idle' "the demo did not start"
sleep 0.3
tm send-keys -t 0 C-c
must_see '^ended: ' "the demo did not stop"
mapfile -t rows < <(capture)
[[ ${rows[0]} == "╭$(repeat ─ 37) Lumora ─╮" && ${rows[6]} == "╰$(repeat ─ 46)╯" ]] ||
  check "the face after Ctrl-C" "the face at the top" "$(capture)"
# The demo's last words under what it wrote.
check "the words after Ctrl-C" "$(printf 'demo interrupted\nended: 130')" \
  "$(printf '%s\n' "${rows[@]}" | sed '/^$/d; s/^^C//' | tail -2)"
close_terminal

[ $fail = 0 ] && echo "every terminal face as expected"
exit $fail
