#!/usr/bin/env bash
# `lumora status` against a live agent: after each step of a short evening it prints what the
# panel shows and who shows the time, as derived by hand from the agent's documented behaviour;
# asking changes nothing (the recording holds only the messages sent); and without an agent it
# says so in one line with status 4.
#
#   status_test.sh BIN_DIR
set -u
bin=$1
lumora=$bin/lumora
fail=0
tmp=$(mktemp -d)
agent=
trap '[ -n "$agent" ] && kill "$agent" 2>/dev/null; rm -rf "$tmp"' EXIT
# No locale: the date comes year first (2026/12/11), the time of the agent in 12-hour form.
export LC_ALL=C

socket=$tmp/agent.sock
"$lumora" run --socket "$socket" --panel none --record "$tmp/record.scn" --quiet 2>"$tmp/run.err" &
agent=$!
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
sleep 1.2  # the first tick: the idle date and time are on the panel

# The agent's time on line 3 and its date on line 2; the panel's own date, and its time in the
# agent's one form.
time12='" *[0-9]{1,2}:[0-5][0-9]:[0-5][0-9] [AP]M"'
date='"[0-9]{4}/[0-9]{2}/[0-9]{2} *"'

# step NAME EXPECTED-LINES [MESSAGE...]: sends each message (the arguments of lumora send, one
# string each), then compares lumora status line by line with the expected extended regular
# expressions.
step() {
  local name=$1 expected=$2
  shift 2
  local message
  for message in "$@"; do
    # shellcheck disable=SC2086
    "$lumora" send --socket "$socket" $message || { echo "FAIL: $name: send $message"; fail=1; }
  done
  "$lumora" status --socket "$socket" >"$tmp/out" 2>"$tmp/err"
  local status=$?
  printf '%s\n' "$expected" >"$tmp/expected"
  local ok=1
  [ $status = 0 ] && [ ! -s "$tmp/err" ] || ok=0
  [ "$(wc -l <"$tmp/out")" = "$(wc -l <"$tmp/expected")" ] || ok=0
  local i=1 pattern
  while IFS= read -r pattern; do
    sed -n "${i}p" "$tmp/out" | grep -qEx -- "$pattern" || ok=0
    i=$((i + 1))
  done <"$tmp/expected"
  if [ $ok = 0 ]; then
    echo "FAIL: $name (status $status):"
    cat "$tmp/out" "$tmp/err"
    echo "wanted:"
    cat "$tmp/expected"
    fail=1
  fi
}

step "idle, before the shell" "line 2: $date
line 3: $time12
icons: none
level: 0/16
clock: the idle date and time \(the Media Center shell is not running\)"

step "the shell's home menu" 'line 2: "MCE Home"
line 3: '"$time12"'
icons: none
level: 0/16
clock: the agent'"'"'s time on line 3' "1 NavHome"

# Channel 7 as three digits. The level's value is halved for the bar: 7 is 3, step 2 of the
# bar (the steps end at 0, 1, 3, ...), segments 1 to 3.
step "live TV plays" 'line 2: "CH-007     "
line 3: '"$time12"'
icons: PLAY, TV
level: 3/16
clock: the agent'"'"'s time on line 3' "7 SessionOpened" "7 LiveTvStarted" "7 ItemNumber 7" "7 Play" \
  "7 Level 7"

# Level 20 is 10: past 9, the end of step 5, so step 6, segments 1 to 7.
step "paused, level 20" 'line 2: "CH-007     "
line 3: '"$time12"'
icons: PAUSE, TV
level: 7/16
clock: the agent'"'"'s time on line 3' "7 Pause" "7 Level 20"

# Suspend: the panel cleared and handed the date and time; the Icon Map is empty.
step "suspended" "line 2: $date
line 3: $time12
icons: none
level: 0/16
clock: the panel's own clock \(handed over on suspend\)" "--power suspend"

# The status requests are not messages: the recording holds the nine messages sent, nothing else.
"$lumora" send --socket "$socket" --close
wait "$agent"
agent=
recorded=$(grep -Ec '^(event|power) ' "$tmp/record.scn")
[ "$recorded" = 9 ] || { echo "FAIL: the recording holds $recorded messages, wanted 9:"; cat "$tmp/record.scn"; fail=1; }

# No agent: one line, status 4, nothing on standard output; on the socket given, and on the
# default socket whose folder does not even exist.
"$lumora" status --socket "$socket" >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 4 ] && [ ! -s "$tmp/out" ] &&
  [ "$(cat "$tmp/err")" = "lumora status: the agent is not running (nothing listens on $socket)" ] ||
  { echo "FAIL: no agent (status $status):"; cat "$tmp/err"; fail=1; }
XDG_RUNTIME_DIR=$tmp/gone "$lumora" status >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 4 ] && [ ! -s "$tmp/out" ] &&
  [ "$(cat "$tmp/err")" = "lumora status: the agent is not running: the socket folder $tmp/gone (XDG_RUNTIME_DIR) does not exist" ] ||
  { echo "FAIL: no agent on the default socket (status $status):"; cat "$tmp/err"; fail=1; }

# Usage mistakes: one line and where the help is, status 2.
"$lumora" status --frob >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 2 ] && [ "$(head -n 1 "$tmp/err")" = "lumora status: unknown option --frob" ] ||
  { echo "FAIL: usage mistake (status $status):"; cat "$tmp/err"; fail=1; }

[ $fail = 0 ] && echo "lumora status: every step as derived"
exit $fail
