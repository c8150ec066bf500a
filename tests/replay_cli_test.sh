#!/usr/bin/env bash
# lumora-replay as a command: input from a file, standard input or "-", exit statuses, and a
# malformed scenario printing its first bad line and no trace at all.
set -u
replay=$1
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check() {  # check NAME EXPECTED-STATUS ACTUAL-STATUS
  if [ "$2" != "$3" ]; then echo "FAIL $1: exit status $3, wanted $2"; fail=1; fi
}

"$replay" --help >"$tmp/out" 2>&1; check help 0 $?
grep -q "usage: lumora-replay" "$tmp/out" || { echo "FAIL help text"; fail=1; }

printf 'event 7 NavHome\n' >"$tmp/ok.scn"
"$replay" "$tmp/ok.scn" >"$tmp/file.out"; check file 0 $?
"$replay" <"$tmp/ok.scn" >"$tmp/stdin.out"; check stdin 0 $?
"$replay" - <"$tmp/ok.scn" >"$tmp/dash.out"; check dash 0 $?
cmp -s "$tmp/file.out" "$tmp/stdin.out" && cmp -s "$tmp/file.out" "$tmp/dash.out" ||
  { echo "FAIL: file, standard input and - give different traces"; fail=1; }
[ "$(head -n 1 "$tmp/file.out")" = "open 11853 16 16" ] || { echo "FAIL: first line"; fail=1; }
[ "$(tail -n 1 "$tmp/file.out")" = "close" ] || { echo "FAIL: last line"; fail=1; }
"$replay" "$tmp/ok.scn" >"$tmp/again.out"
cmp -s "$tmp/file.out" "$tmp/again.out" || { echo "FAIL: not deterministic"; fail=1; }

printf 'event 7 NavHome\ntick\nevent 7 Frobnicate\n' >"$tmp/bad.scn"
"$replay" "$tmp/bad.scn" >"$tmp/bad.out" 2>"$tmp/bad.err"; check malformed 2 $?
[ -s "$tmp/bad.out" ] && { echo "FAIL: a malformed scenario printed a trace"; fail=1; }
grep -q "^line 3: " "$tmp/bad.err" || { echo "FAIL: no 'line 3:' reason"; cat "$tmp/bad.err"; fail=1; }

# A run boundary ends the agent and starts the next run afresh: two runs of one event replay to
# that event's trace twice, whatever the first run left set up (its time, its failing device)
# or whether it ended with close; a directive after close without one is still malformed.
printf 'event 7 NavHome\n' >"$tmp/one.scn"
printf 'time 2030-05-06 07:08:09\ndevice none 2\nevent 7 NavMusic\n' >"$tmp/other.scn"
"$replay" "$tmp/one.scn" >"$tmp/one.out"; check one-run 0 $?
"$replay" "$tmp/other.scn" >"$tmp/other.out"; check other-run 0 $?
for runs in "event 7 NavHome\nrun\nevent 7 NavHome" "event 7 NavHome\nclose\nrun\n# again\nevent 7 NavHome"; do
  printf "$runs\n" | "$replay" >"$tmp/runs.out"; check "runs: $runs" 0 $?
  cat "$tmp/one.out" "$tmp/one.out" | cmp -s - "$tmp/runs.out" || { echo "FAIL runs: $runs"; fail=1; }
done
printf 'time 2030-05-06 07:08:09\ndevice none 2\nevent 7 NavMusic\nrun\nevent 7 NavHome\n' >"$tmp/two.scn"
"$replay" "$tmp/two.scn" >"$tmp/two.out"; check two-runs 0 $?
cat "$tmp/other.out" "$tmp/one.out" | cmp -s - "$tmp/two.out" ||
  { echo "FAIL: the second run kept the first one's set-up"; fail=1; }
printf 'event 7 NavHome\nclose\nevent 7 NavHome\n' >"$tmp/after-close.scn"
"$replay" "$tmp/after-close.scn" >/dev/null 2>"$tmp/after-close.err"; check after-close 2 $?
grep -q "^line 3: directive after close" "$tmp/after-close.err" || { echo "FAIL: after close"; fail=1; }

"$replay" --frobnicate >/dev/null 2>&1; check unknown-option 2 $?
"$replay" "$tmp/missing.scn" >/dev/null 2>&1; check missing-file 2 $?
"$replay" "$tmp/ok.scn" "$tmp/ok.scn" >/dev/null 2>&1; check two-files 2 $?

# Inputs that cannot be a scenario are refused with their reason, before anything runs and
# without reading them into memory whole: a folder, an endless device, a line beyond the
# documented bound of 4096 bytes.
refused() {  # refused NAME NEEDLE [ARGS...]: exit status 2, NEEDLE on stderr, no trace
  name=$1 needle=$2; shift 2
  "$replay" "$@" >"$tmp/refused.out" 2>"$tmp/refused.err"; check "$name" 2 $?
  [ -s "$tmp/refused.out" ] && { echo "FAIL $name: a trace was printed"; fail=1; }
  grep -qF -- "$needle" "$tmp/refused.err" || { echo "FAIL $name: wanted '$needle'"; cat "$tmp/refused.err"; fail=1; }
}
refused folder "lumora-replay: cannot read $tmp: it is a folder" "$tmp"
refused endless "line 1: line too long (more than 4096 bytes)" /dev/zero
line4096="# $(head -c 4094 /dev/zero | tr '\0' x)"
{ echo "event 7 NavHome"; echo "$line4096"; } >"$tmp/longest.scn"
"$replay" "$tmp/longest.scn" >/dev/null 2>&1; check longest-line 0 $?
{ echo "event 7 NavHome"; echo "$line4096"; echo "${line4096}x"; } >"$tmp/toolong.scn"
refused long-line "line 3: line too long (more than 4096 bytes)" "$tmp/toolong.scn"
refused long-line-stdin "line 3: line too long (more than 4096 bytes)" - <"$tmp/toolong.scn"
# The input itself has no bound: 16 MiB of comment lines of 64 bytes and one more, then an
# event, replay as that event alone does, from a file and through a pipe (read twice through a
# temporary copy); a malformed line after them still prints no trace, with its own number.
comment="# $(head -c 61 /dev/zero | tr '\0' y)"
{ yes "$comment" | head -n 262145; echo "event 7 NavHome"; } >"$tmp/large.scn"
"$replay" "$tmp/large.scn" >"$tmp/large.out"; check large-input 0 $?
cmp -s "$tmp/large.out" "$tmp/one.out" || { echo "FAIL: a large input replays otherwise"; fail=1; }
cat "$tmp/large.scn" | "$replay" >"$tmp/large-pipe.out"; check large-pipe 0 $?
cmp -s "$tmp/large-pipe.out" "$tmp/one.out" || { echo "FAIL: a large piped input replays otherwise"; fail=1; }
echo "event 7 Frobnicate" >>"$tmp/large.scn"
refused large-malformed "line 262147: event code 'Frobnicate'" "$tmp/large.scn"
refused large-malformed-pipe "line 262147: event code 'Frobnicate'" - < <(cat "$tmp/large.scn")
# A line beyond the bound is reported before a malformed line ahead of it, as its whole input is
# read first.
{ echo "event 7 Frobnicate"; echo "${line4096}x"; } >"$tmp/both.scn"
refused bound-first "line 2: line too long (more than 4096 bytes)" "$tmp/both.scn"
# The ticks of a whole scenario advance the virtual time by at most 10000000 seconds: ten full
# `tick 1000000` lines reach the bound, the next tick passes it and is refused before any run.
{ echo "event 7 NavHome"; yes "tick 1000000" | head -n 10; echo "tick 0"; echo "tick"; } >"$tmp/endless.scn"
refused virtual-time "line 13: the ticks advance the time past 10000000 seconds in all" "$tmp/endless.scn"

[ $fail = 0 ] && echo "lumora-replay command line: all checks passed"
exit $fail
