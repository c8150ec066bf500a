#!/usr/bin/env bash
# One scenario language: a recording of `lumora run --record` plays on a live agent as it
# replays. `lumora send --file` and `lumora demo --scenario` take it whole (its time, lang and
# tick lines included), say once per kind what a running agent cannot take, and leave the panel
# the replay shows. The demo starts its agent again at a run boundary, as the recorded agent was.
#
#   live_play_test.sh BIN_DIR
set -uo pipefail
bin=$1
lumora=$bin/lumora replay=$bin/lumora-replay

. "$(dirname "$0")/test_lib.sh"
posix_test_start play
socket=$tmp/agent.sock

start_agent() {  # ARGS...: an agent on the test's socket, until stop_agent
  "$lumora" run --socket "$socket" --quiet "$@" &
  agent=$!
  for _ in $(seq 50); do [ -S "$socket" ] && return 0; sleep 0.1; done
  echo "FAIL: the agent did not listen"
  exit 1
}
stop_agent() {
  "$lumora" send --socket "$socket" --close
  wait "$agent"
  agent=
}
# The packets in readable form without the clock's digits: the time of day and the date are the
# live clock's, and how many times the clock refreshed them depends on when the play started.
without_clock() {
  grep -vE '^text[23] 0 "[^"]*([0-9]:[0-9]{2}:[0-9]{2}|[0-9]{4})'
}

# A recorded run: the shell's home menu, music played, its title (in Windows-1252 on the panel),
# a second of clock, then a pause.
start_agent --panel none --record "$tmp/one.scn"
for event in "1 NavHome" "7 SessionOpened" "7 MusicStarted" "7 Play"; do
  "$lumora" send --socket "$socket" $event
done
"$lumora" send --socket "$socket" 7 MusicTitle 'Café €'
sleep 1.3
"$lumora" send --socket "$socket" 7 Pause
stop_agent
# Its clock: a time line at the start, and ticks or timer lines for the second that passed (a
# timer line when the clock's second and the timer's were out of step).
grep -q '^time ' "$tmp/one.scn" && grep -qE '^(tick|timer 1)$' "$tmp/one.scn" ||
  { echo "FAIL: the recording has no time or clock line:"; cat "$tmp/one.scn"; fail=1; }
"$replay" --decode "$tmp/one.scn" | without_clock >"$tmp/replayed" ||
  { echo "FAIL: the recording does not replay"; fail=1; }

# lumora send --file: the live trace is the replayed one, and what it left out is said once.
start_agent --panel plain --trace "$tmp/sent.trace" >"$tmp/sent.plain"
"$lumora" send --socket "$socket" --file "$tmp/one.scn" 2>"$tmp/sent.err"
status=$?
stop_agent
[ $status = 0 ] || { echo "FAIL: send --file of a recording (status $status):"; cat "$tmp/sent.err"; fail=1; }
"$replay" --trace "$tmp/sent.trace" | without_clock >"$tmp/sent"
cmp -s "$tmp/replayed" "$tmp/sent" ||
  { echo "FAIL: send --file gave another panel than the replay:"; diff "$tmp/replayed" "$tmp/sent"; fail=1; }
grep -qxE "lumora send: $tmp/one.scn: [0-9]+ time lines? set no clock: the running agent keeps its own; each waited as long as it moves the time on, at most 600 seconds" "$tmp/sent.err" ||
  { echo "FAIL: send --file does not say what the time line did:"; cat "$tmp/sent.err"; fail=1; }
# One line per kind, each naming the file.
[ "$(grep -c . "$tmp/sent.err")" = "$(cut -d: -f3 "$tmp/sent.err" | awk '{ print $2 }' | sort -u | grep -c .)" ] &&
  ! grep -qvF "lumora send: $tmp/one.scn: " "$tmp/sent.err" ||
  { echo "FAIL: send --file says more than one line per kind:"; cat "$tmp/sent.err"; fail=1; }

# lumora demo --scenario: the same panel, line for line, as the agent that send --file played to.
# The time of day masked with the blanks that pad it to its width: an hour of one digit has one
# blank more than an hour of two.
mask() { sed -E 's/^panel [0-9]+ //; s/ *[0-9]+:[0-9]{2}:[0-9]{2} [AP]M/<time>/g'; }
timeout 30 "$lumora" demo --fast --panel plain --scenario "$tmp/one.scn" >"$tmp/demo.plain" 2>"$tmp/demo.err"
status=$?
[ $status = 0 ] || { echo "FAIL: demo --scenario of a recording (status $status):"; cat "$tmp/demo.err"; fail=1; }
last_sent=$(grep '^panel ' "$tmp/sent.plain" | tail -n 1 | mask)
last_demo=$(grep '^panel ' "$tmp/demo.plain" | tail -n 1 | mask)
case $last_sent in
  *'L2 "Café €"'*) ;;
  *) echo "FAIL: the title is not on the panel: $last_sent"; fail=1 ;;
esac
[ "$last_demo" = "$last_sent" ] ||
  { echo "FAIL: the demo ends with another panel: $last_demo, not $last_sent"; fail=1; }
grep -qE "^lumora demo: $tmp/one.scn: [0-9]+ time lines? set no clock" "$tmp/demo.err" ||
  { echo "FAIL: the demo does not say what the time line did:"; cat "$tmp/demo.err"; fail=1; }

# A second run appended to the recording: the replay ends and starts the agent, so the music of
# the first run is gone and the panel shows the music menu with no icon lit. The demo starts its
# agent again there too; a sender, which cannot, says so.
start_agent --panel none --record "$tmp/one.scn"
"$lumora" send --socket "$socket" 1 NavHome
"$lumora" send --socket "$socket" 1 NavMusic
stop_agent
"$replay" --decode "$tmp/one.scn" >"$tmp/both"
last_open=$(grep -n '^open ' "$tmp/both" | tail -n 1 | cut -d: -f1)
tail -n "+$last_open" "$tmp/both" | grep '^icons ' | grep -qv '^icons 00 00 00 00 00 00 00 00 00 00$' &&
  { echo "FAIL: the second run replays with icons lit:"; cat "$tmp/both"; fail=1; }
[ "$(grep '^text2 ' "$tmp/both" | tail -n 1)" = 'text2 0 "Music"' ] ||
  { echo "FAIL: the second run replays to: $(grep '^text2 ' "$tmp/both" | tail -n 1)"; fail=1; }
timeout 30 "$lumora" demo --fast --panel plain --scenario "$tmp/one.scn" >"$tmp/demo2.plain" 2>"$tmp/demo.err"
last_demo=$(grep '^panel ' "$tmp/demo2.plain" | tail -n 1 | mask)
[ "$last_demo" = 'text | L2 "Music" | L3 "<time>" | icons - | level 0/16' ] ||
  { echo "FAIL: the demo of two runs ends with: $last_demo"; cat "$tmp/demo.err"; fail=1; }
start_agent --panel none
"$lumora" send --socket "$socket" --file "$tmp/one.scn" 2>"$tmp/sent.err"
stop_agent
grep -qxF "lumora send: $tmp/one.scn: 1 run line left out: the running agent is not started again, the runs go to it one after the other" "$tmp/sent.err" ||
  { echo "FAIL: send --file does not say it left the run out:"; cat "$tmp/sent.err"; fail=1; }

[ $fail = 0 ] && echo "live play: all checks passed"
exit $fail
