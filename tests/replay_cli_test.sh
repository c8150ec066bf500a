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

"$replay" --frobnicate >/dev/null 2>&1; check unknown-option 2 $?
"$replay" "$tmp/missing.scn" >/dev/null 2>&1; check missing-file 2 $?
"$replay" "$tmp/ok.scn" "$tmp/ok.scn" >/dev/null 2>&1; check two-files 2 $?

[ $fail = 0 ] && echo "lumora-replay command line: all checks passed"
exit $fail
