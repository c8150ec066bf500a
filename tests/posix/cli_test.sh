#!/usr/bin/env bash
# The programs as a user meets them: a usage mistake gives one line naming it and where the
# help is (status 2, nothing on standard output); --version; the event table; names in any
# case; a payload unlike its format warned about or, with --strict, refused; text typed in
# UTF-8 reaching the panel in Windows-1252 and shown as UTF-8 again.
#
#   cli_test.sh BIN_DIR VERSION
set -u
bin=$1
version=$2
fail=0
tmp=$(mktemp -d)
agent=
trap '[ -n "$agent" ] && kill "$agent" 2>/dev/null; rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

# usage_error PROGRAM-FOR-TRY EXPECTED-FIRST-LINE COMMAND...
usage_error() {
  local program=$1 first=$2
  shift 2
  "$@" >"$tmp/out" 2>"$tmp/err"
  local status=$?
  local expected
  expected=$(printf '%s\nTry '\''%s --help'\'' for more information.' "$first" "$program")
  if [ $status != 2 ] || [ -s "$tmp/out" ] || [ "$(cat "$tmp/err")" != "$expected" ]; then
    echo "FAIL: $*: status $status, standard error:"
    cat "$tmp/err"
    echo "wanted status 2 and:"
    echo "$expected"
    fail=1
  fi
}

lumora=$bin/lumora
replay=$bin/lumora-replay
usage_error lumora "lumora: no command given (run, send, status, demo, follow, kodi or mpris)" "$lumora"
usage_error lumora "lumora: unknown command 'frob' (run, send, status, demo, follow, kodi or mpris)" "$lumora" frob
usage_error "lumora run" "lumora run: unknown option --frob" "$lumora" run --frob
for panel in x lcdproc= lcdproc=127.0.0.1 lcdproc=:13666 lcdproc=127.0.0.1:0 lcdproc=127.0.0.1:65536 \
  lcdproc=127.0.0.1:13666x lcdprocx; do
  usage_error "lumora run" "lumora run: --panel wants term, plain, none or lcdproc[=HOST:PORT]" \
    "$lumora" run --panel "$panel"
done
usage_error "lumora run" "lumora run: --socket wants a value" "$lumora" run --socket
usage_error "lumora demo" "lumora demo: unknown option or missing value: --frob" "$lumora" demo --frob
usage_error "lumora kodi" "lumora kodi: unknown option or missing value: --frob" "$lumora" kodi --frob
usage_error "lumora kodi" "lumora kodi: --port wants a number from 1 to 65535" "$lumora" kodi --port 0
usage_error "lumora kodi" "lumora kodi: --port wants a number from 1 to 65535" "$lumora" kodi --port 9x
usage_error "lumora kodi" "lumora kodi: unknown option or missing value: --host" "$lumora" kodi --host
# Kodi refusing the connection: the line names the setting to turn on in Kodi.
XDG_CONFIG_HOME=$tmp/no-config LUMORA_SYSTEM_CONFIG=$tmp/no.conf timeout 2 "$lumora" kodi --port 1 \
  --socket "$tmp/no-agent.sock" >/dev/null 2>"$tmp/err"
grep -qxF 'lumora kodi: Kodi is not answering on 127.0.0.1:1 (Connection refused); waiting for it. Turn on in Kodi: Settings > Services > Control > "Allow remote control from applications on this system"' "$tmp/err" ||
  { echo "FAIL: lumora kodi with nothing on its port says:"; cat "$tmp/err"; fail=1; }
usage_error "lumora send" "lumora send: nothing to send" "$lumora" send
usage_error "lumora send" "lumora send: unknown event 'navhme' (did you mean NavHome?); --list shows every event" \
  "$lumora" send 1 navhme
usage_error "lumora send" "lumora send: 'hibernate' is not a power event; --power wants a decimal wParam or a name: suspend, resume, resume-automatic, resume-critical, enter-quiet, leave-quiet" \
  "$lumora" send --power hibernate
usage_error "lumora send" "lumora send: 'ł' (U+0142) is not in Windows-1252, the panel's character set; use \\xHH to send a byte as it is" \
  "$lumora" send 1 MediaName 'Cafe ł'
usage_error "lumora send" 'lumora send: PlayTime wants elapsed play time as six digits HHMMSS (such as 000042), not "1:23" (refused: --strict)' \
  "$lumora" send --strict 7 PlayTime 1:23
usage_error "lumora send" "lumora send: --list stands alone" "$lumora" send --list 7
usage_error lumora-replay "lumora-replay: unknown option --frob" "$replay" --frob
usage_error lumora-replay "lumora-replay: more than one scenario given" "$replay" a b
usage_error lumora-replay "lumora-replay: --svg wants a path" "$replay" --svg

# A replayed name keeps its exact spelling, with a hint.
printf 'event 1 navhome\n' | "$replay" >/dev/null 2>"$tmp/err"
[ "$(cat "$tmp/err")" = "line 1: event code 'navhome' is neither 0 to 65535 nor an event name (did you mean NavHome?)" ] ||
  { echo "FAIL: replay hint:"; cat "$tmp/err"; fail=1; }

for command in "$lumora" "$lumora run" "$lumora send" "$lumora demo" "$replay"; do
  program=$(basename "${command%% *}")
  [ "$($command --version)" = "$program $version" ] ||
    { echo "FAIL: $command --version: $($command --version)"; fail=1; }
done

# The event table: a header and the 45 events, each with its code and format.
"$lumora" send --list >"$tmp/list"
[ "$(wc -l <"$tmp/list")" = 46 ] || { echo "FAIL: --list has $(wc -l <"$tmp/list") lines"; fail=1; }
grep -qxF '  69  PlayTime            elapsed play time as six digits HHMMSS (such as 000042)' "$tmp/list" ||
  { echo "FAIL: --list lacks PlayTime"; fail=1; }
grep -qxF '   3  NavHome             -' "$tmp/list" || { echo "FAIL: --list lacks NavHome"; fail=1; }
# --help alone names every event of the table.
"$lumora" send --help >"$tmp/help"
for name in $(awk 'NR > 1 { print $2 }' "$tmp/list"); do
  grep -qw -- "$name" "$tmp/help" || { echo "FAIL: lumora send --help lacks $name"; fail=1; }
done

# Every example the user documents give keeps what it shows: the agent keeps the idle date on
# line 2 until the shell (session 1) has shown a menu, so an example that starts with a medium's
# events sees its channel overwritten within a second. Each example, followed by two seconds of
# clock, must leave its channel (CH-...) as the last text of line 2, not a date.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
example_keeps_channel() {
  local where=$1 lines=$2
  [ -n "$lines" ] || { echo "FAIL: no example found in $where"; fail=1; return; }
  # The senders take names in any case, a scenario its names as the table spells them.
  { printf '%s\n' "$lines" |
      awk 'NR == FNR { if (FNR > 1) name[tolower($2)] = $2; next }
           { if (tolower($2) in name) $2 = name[tolower($2)]; print "event " $0 }' "$tmp/list" -
    echo 'tick 2'; } >"$tmp/example.scn"
  local last
  last=$("$replay" --decode "$tmp/example.scn" | grep '^text2 ' | tail -n 1)
  case $last in
    'text2 0 "CH-'*) ;;
    *) echo "FAIL: the example of $where ends with line 2 showing: $last"; fail=1 ;;
  esac
}
example_keeps_channel 'lumora send --help' \
  "$(sed -n 's/^Example: //p' "$tmp/help" | sed 's/; /\n/g; s/lumora send //g')"
example_keeps_channel README \
  "$(sed -n '/^What the agent expects/,/^Sending events/p' "$source_dir/README.md" |
    sed -n 's/^lumora send \([0-9][0-9]* [A-Za-z]*\( [0-9]*\)\{0,1\}\)$/\1/p')"
for page in lumora.1 lumora-send.1; do
  example_keeps_channel "$page" \
    "$(sed -n '/^\.SH EXAMPLES/,/^\.SH SEE/p' "$source_dir/docs/man/$page" |
      sed -n 's/^lumora send \([0-9][0-9]* [A-Za-z]*\( [0-9]*\)\{0,1\}\)$/\1/p')"
done

# --decode and the emulator's plain lines show the panel's Windows-1252 as UTF-8: 0xE9 é,
# 0x80 the euro sign; the undefined 0x81 stays an escape.
printf 'event 10 CallerText "Caf\\xe9 \\x80\\x81"\n' | "$replay" --decode >"$tmp/decoded"
grep -qxF 'text3 0 "Café €\x81"' "$tmp/decoded" || { echo "FAIL: --decode:"; cat "$tmp/decoded"; fail=1; }

# --strict refuses a payload unlike its format before it reaches for the agent: the volume
# level is 0 to 255 (a larger one would wrap round on the panel), and a number has no sign.
while read -r payload refused; do
  "$lumora" send --socket "$tmp/none.sock" --strict 7 Level "$payload" 2>"$tmp/err"
  status=$?
  if [ "$refused" = yes ]; then
    [ $status = 2 ] && grep -q "Level wants volume level, decimal 0 to 255" "$tmp/err" ||
      { echo "FAIL: --strict Level $payload (status $status):"; cat "$tmp/err"; fail=1; }
  else
    [ $status = 1 ] || { echo "FAIL: --strict Level $payload refused (status $status)"; fail=1; }
  fi
done <<'CASES'
0 no
255 no
256 yes
300 yes
0300 yes
-5 yes
CASES

# A live agent: a warned payload is still sent, names in any case, UTF-8 text converted.
socket=$tmp/agent.sock
"$lumora" run --socket "$socket" --panel plain --trace "$tmp/trace" --quiet >"$tmp/plain" 2>"$tmp/run.err" &
agent=$!
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
"$lumora" send --socket "$socket" 7 PlayTime 1:23 2>"$tmp/err"; status=$?
[ $status = 0 ] && [ "$(cat "$tmp/err")" = 'lumora send: warning: PlayTime wants elapsed play time as six digits HHMMSS (such as 000042), not "1:23"; sent as typed (--strict refuses it)' ] ||
  { echo "FAIL: warned payload (status $status):"; cat "$tmp/err"; fail=1; }
"$lumora" send --socket "$socket" 10 callertext 'Café €' 2>"$tmp/err" && [ ! -s "$tmp/err" ] ||
  { echo "FAIL: callertext:"; cat "$tmp/err"; fail=1; }
"$lumora" send --socket "$socket" --close
wait "$agent"
agent=
# "Café €" is 43 61 66 e9 20 80 on the panel link, after the command header of line 3.
grep -q '^cmd 0000030000436166e92080' "$tmp/trace" || { echo "FAIL: the text's bytes:"; cat "$tmp/trace"; fail=1; }
grep -qF 'L3 "Café €"' "$tmp/plain" || { echo "FAIL: the plain line:"; cat "$tmp/plain"; fail=1; }

# docs/linux-host.md names every option of lumora run --help in its table (--help and --version,
# which every program answers, aside).
"$lumora" run --help | sed -n 's/^  \(-[-a-z]*\).*/\1/p' | grep -vx -e --help -e --version |
  while read -r option; do
    grep -q "^| \`$option[ \`]" "$source_dir/docs/linux-host.md" ||
      { echo "FAIL: docs/linux-host.md lacks lumora run $option"; exit 1; }
  done || fail=1

# Without XDG_RUNTIME_DIR the agent listens where lumora(1) says it does, in a folder of its own
# under TMPDIR, and the sender finds it there.
fallback=$(sed -n '/^The socket; by default/,/^\.TP/p' "$source_dir/docs/man/lumora.1" |
  sed -n 's/^\.IR \${TMPDIR:\\-\/tmp}\/lumora\\-UID\/\([^ ,]*\) ,$/\1/p')
mkdir "$tmp/t"
TMPDIR=$tmp/t env -u XDG_RUNTIME_DIR "$lumora" run --panel none --quiet 2>"$tmp/run.err" &
agent=$!
for _ in $(seq 50); do [ -S "$tmp/t/lumora-$(id -u)/${fallback:-none}" ] && break; sleep 0.1; done
if [ -n "$fallback" ] && [ -S "$tmp/t/lumora-$(id -u)/$fallback" ]; then
  TMPDIR=$tmp/t env -u XDG_RUNTIME_DIR "$lumora" send --close || { echo "FAIL: send to the fallback socket"; fail=1; }
else
  echo "FAIL: no socket at lumora(1)'s fallback '\${TMPDIR:-/tmp}/lumora-UID/${fallback:-?}'"; fail=1
  kill "$agent"
fi
wait "$agent"
agent=

[ $fail = 0 ] && echo "command lines: all checks passed"
exit $fail
