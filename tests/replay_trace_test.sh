#!/usr/bin/env bash
# lumora-replay --trace: a display library's recorded trace read back in the readable form. The
# packets below are written out by hand from the packet layout (bytes 0 and 1 zero, byte 2 the
# command, bytes 3 and 4 its arguments, 60 payload bytes), and so is what they must read as.
set -u
replay=$1
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# packet COMMAND ARG1 ARG2 [PAYLOAD-HEX]: the 130 hexadecimal digits of a packet.
packet() {
  local hex
  hex=$(printf '0000%02x%02x%02x%s' "$1" "$2" "$3" "${4:-}")
  while ((${#hex} < 130)); do hex+=0; done
  echo "$hex"
}

# A trace as the stand-in writes it on Windows (carriage returns included), with a note of the
# pass-through library.
{
  echo "open 11853 16 16"
  echo "cmd $(packet 4 3 0)"
  echo "cmd $(packet 0 0 0)"
  echo "cmd $(packet 2 0 0 "436166e9")"            # Caf, then 0xE9: e acute
  echo "cmd $(packet 3 5 0 "80203939")"            # the euro sign, a blank, 99
  echo "cmd $(packet 1 0 0 "00000010040000000000")"
  echo "sleep 1000"
  echo "cmd $(packet 6 1 2 "150717140601050000")"  # 21:07:23, 2006-01-05, day-month-year
  echo "cmd $(packet 6 0 0)"
  echo "cmd $(packet 9 0 0)"                       # no command the panel knows: left raw
  echo "# Z:\\folder\\PanelDrv.vendor.dll was not found."
  echo "close"
} | sed 's/$/\r/' >"$tmp/panel.trace"
cat >"$tmp/expected" <<EXPECTED
open 11853 16 16
option 3
clear
text2 0 "Café"
text3 5 "€ 99"
icons 00 00 00 10 04 00 00 00 00 00
sleep 1000
pclock start 2 21 7 23 20 6 1 5
pclock stop
cmd $(packet 9 0 0)
# Z:\\folder\\PanelDrv.vendor.dll was not found.
close
EXPECTED
"$replay" --trace "$tmp/panel.trace" >"$tmp/out" 2>"$tmp/err" || { echo "FAIL: status $?"; cat "$tmp/err"; fail=1; }
diff -u "$tmp/expected" "$tmp/out" || { echo "FAIL: the trace reads differently"; fail=1; }
"$replay" --trace <"$tmp/panel.trace" >"$tmp/stdin.out" 2>&1
cmp -s "$tmp/out" "$tmp/stdin.out" || { echo "FAIL: standard input reads differently"; fail=1; }

# Lines that are no trace line: the first one is named, nothing is printed, status 2.
while IFS='|' read -r name line reason; do
  printf 'open 11853 16 16\n%s\nclose\n' "$line" >"$tmp/bad.trace"
  "$replay" --trace "$tmp/bad.trace" >"$tmp/bad.out" 2>"$tmp/bad.err"
  status=$?
  [ "$status" = 2 ] || { echo "FAIL $name: status $status, wanted 2"; fail=1; }
  [ -s "$tmp/bad.out" ] && { echo "FAIL $name: printed a trace"; fail=1; }
  [ "$(cat "$tmp/bad.err")" = "line 2: $reason" ] ||
    { echo "FAIL $name: said '$(cat "$tmp/bad.err")', wanted 'line 2: $reason'"; fail=1; }
done <<'CASES'
scenario|event 7 NavHome|not a trace line (open, cmd, close, sleep, msgbox or a # note)
short packet|cmd 0000040300|cmd wants 130 hexadecimal digits
open without numbers|open 11853 16|open wants 3 numbers
sleep without number|sleep soon|sleep wants a number
CASES

"$replay" --trace --decode "$tmp/panel.trace" >/dev/null 2>&1
[ $? = 2 ] || { echo "FAIL: --trace with --decode is no usage error"; fail=1; }
exit $fail
