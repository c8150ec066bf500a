#!/usr/bin/env bash
# Every reader of scenarios takes an event's text the same way: lumora-replay, `lumora send
# --file` to a live agent and `lumora demo --scenario`. Characters written in UTF-8 become the
# panel's Windows-1252, as on the command line; a text that is not UTF-8 is taken as the
# Windows-1252 bytes it holds; \xHH is the byte HH; a character that Windows-1252 cannot hold is
# refused with the line that holds it. Event names are spelt as the event table spells them.
#
#   scenario_text_test.sh BIN_DIR
set -uo pipefail
bin=$1
lumora=$bin/lumora replay=$bin/lumora-replay

. "$(dirname "$0")/test_lib.sh"
posix_test_start text

# Each case: the text as written in the file (printf format), the bytes line 3 must receive in
# hexadecimal, worked out by hand from the Windows-1252 table (C 43, a 61, f 66, e-acute e9,
# blank 20, euro 80), and what the plain face shows of them; or "refused" and the reason.
while IFS='|' read -r name written bytes shown; do
  printf '# a call\nevent 10 CallerText "%b"\n' "$written" >"$tmp/$name.scn"

  # lumora-replay: the packet of line 3.
  "$replay" "$tmp/$name.scn" >"$tmp/replayed" 2>"$tmp/err"
  status=$?
  if [ "$bytes" = refused ]; then
    [ $status = 2 ] && grep -qxF "line 2: $shown" "$tmp/err" ||
      { echo "FAIL: $name: lumora-replay (status $status): $(cat "$tmp/err")"; fail=1; }
  else
    grep -q "^cmd 0000030000${bytes}00" "$tmp/replayed" ||
      { echo "FAIL: $name: lumora-replay sent: $(grep '^cmd 000003' "$tmp/replayed")"; fail=1; }
  fi

  # lumora send --file: the live agent's trace holds the same packet.
  socket=$tmp/$name.sock
  "$lumora" run --socket "$socket" --panel none --quiet --trace "$tmp/$name.trace" &
  agent=$!
  for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
  "$lumora" send --socket "$socket" --file "$tmp/$name.scn" 2>"$tmp/err"
  status=$?
  "$lumora" send --socket "$socket" --close
  wait "$agent"
  agent=
  if [ "$bytes" = refused ]; then
    [ $status = 2 ] && grep -qxF "lumora send: $tmp/$name.scn: line 2: $shown" "$tmp/err" ||
      { echo "FAIL: $name: send --file (status $status): $(cat "$tmp/err")"; fail=1; }
  else
    grep -q "^cmd 0000030000${bytes}00" "$tmp/$name.trace" ||
      { echo "FAIL: $name: send --file sent: $(grep '^cmd 000003' "$tmp/$name.trace")"; fail=1; }
  fi

  # lumora demo --scenario: its plain face shows the text on line 3.
  timeout 30 "$lumora" demo --fast --panel plain --scenario "$tmp/$name.scn" >"$tmp/demo" 2>"$tmp/err"
  status=$?
  if [ "$bytes" = refused ]; then
    [ $status = 2 ] && grep -qxF "lumora demo: $tmp/$name.scn: line 2: $shown" "$tmp/err" ||
      { echo "FAIL: $name: demo (status $status): $(cat "$tmp/err")"; fail=1; }
  else
    grep -qF "| L3 \"$shown\" |" "$tmp/demo" ||
      { echo "FAIL: $name: the demo showed: $(grep -o 'L3 "[^"]*"' "$tmp/demo" | tail -n 1)"; fail=1; }
  fi
done <<'CASES'
ascii|Cafe|43616665|Cafe
utf8|Caf\xc3\xa9 \xe2\x82\xac|436166e92080|Café €
windows1252|Caf\xe9 \x80|436166e92080|Café €
escapes|Caf\\xe9 \\x80|436166e92080|Café €
outside|\xc5\x82ód\xc5\xba|refused|'ł' (U+0142) is not in Windows-1252, the panel's character set; write \xHH for a byte as it is
CASES

# Event names: a scenario spells them as the event table does, in every reader alike (the
# command line of the senders, which is no scenario, takes them in any case).
printf '# a channel\nevent 7 itemnumber 7\n' >"$tmp/names.scn"
reason="line 2: event code 'itemnumber' is neither 0 to 65535 nor an event name (did you mean ItemNumber"
"$replay" "$tmp/names.scn" >/dev/null 2>"$tmp/err"
status=$?
said=$(cat "$tmp/err")
[ $status = 2 ] && [[ $said == "$reason"* ]] ||
  { echo "FAIL: lumora-replay took a name in lower case (status $status): $said"; fail=1; }
"$lumora" send --socket "$tmp/none.sock" --file "$tmp/names.scn" 2>"$tmp/err"
status=$?
[ $status = 2 ] && [ "$(head -n 1 "$tmp/err")" = "lumora send: $tmp/names.scn: $said" ] ||
  { echo "FAIL: send --file (status $status) said: $(cat "$tmp/err")"; fail=1; }
timeout 30 "$lumora" demo --fast --panel plain --scenario "$tmp/names.scn" >/dev/null 2>"$tmp/err"
status=$?
[ $status = 2 ] && [ "$(cat "$tmp/err")" = "lumora demo: $tmp/names.scn: $said" ] ||
  { echo "FAIL: the demo (status $status) said: $(cat "$tmp/err")"; fail=1; }

[ $fail = 0 ] && echo "scenario texts: all checks passed"
exit $fail
