#!/usr/bin/env bash
# One exit status per kind of outcome in every tool (base/exit_status.h): a usage mistake and an
# input file that is missing give 2 in each; output that cannot be written (/dev/full) is said
# ("PROGRAM: write error: REASON") and gives 1; a socket folder of XDG_RUNTIME_DIR that cannot
# be used is named with what is wrong with it.
#
#   exit_status_test.sh BIN_DIR EVENING_SCN
set -u
bin=$1
evening=$2
lumora=$bin/lumora
replay=$bin/lumora-replay
fail=0
tmp=$(mktemp -d)
agent=
trap '[ -n "$agent" ] && kill "$agent" 2>/dev/null; rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

# expect STATUS STDERR-LINE COMMAND...: the status, and the line among standard error's.
expect() {
  local status=$1 line=$2
  shift 2
  "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
  local got=$?
  if [ "$got" != "$status" ] || ! grep -qxF -- "$line" "$tmp/err"; then
    echo "FAIL: $*: status $got (wanted $status), standard error:"
    cat "$tmp/err"
    echo "wanted the line: $line"
    fail=1
  fi
}

# A missing input file: status 2 in every tool that reads one.
missing=$tmp/missing.scn
why="cannot read $missing: No such file or directory"
expect 2 "lumora send: $why" "$lumora" send --socket "$tmp/none.sock" --file "$missing"
expect 2 "lumora demo: $why" "$lumora" demo --panel none --scenario "$missing"
expect 2 "lumora-replay: $why" "$replay" "$missing"
expect 2 "lumora-replay: $why" "$replay" --trace "$missing"
# A usage mistake: status 2 in every tool.
for command in "lumora run" "lumora send" "lumora demo" "lumora-replay"; do
  program=$bin/${command%% *}
  [ "$command" = "${command#* }" ] && args=() || args=("${command#* }")
  expect 2 "Try '$command --help' for more information." "$program" "${args[@]}" --frob
done

# No agent on the socket: a status request has nobody to ask (4); a message is not delivered, a
# failure (1). Each status means one thing.
expect 4 "lumora status: the agent is not running (nothing listens on $tmp/none.sock)" \
  "$lumora" status --socket "$tmp/none.sock"
expect 1 "lumora send: the agent is not running (nothing listens on $tmp/none.sock)" \
  "$lumora" send --socket "$tmp/none.sock" 1 NavHome

# Output that cannot be written: said, status 1.
full="write error: No space left on device"
expect 1 "lumora: $full" sh -c '"$0" --help >/dev/full' "$lumora"
expect 1 "lumora send: $full" sh -c '"$0" send --list >/dev/full' "$lumora"
expect 1 "lumora demo: $full" sh -c '"$0" demo --help >/dev/full' "$lumora"
expect 1 "lumora-replay: $full" sh -c '"$0" --help >/dev/full' "$replay"
expect 1 "lumora-replay: $full" sh -c '"$0" "$1" >/dev/full' "$replay" "$evening"
expect 1 "lumora-replay: $full" sh -c '"$0" --decode "$1" >/dev/full' "$replay" "$evening"
printf 'close\n' >"$tmp/trace"
expect 1 "lumora-replay: $full" sh -c '"$0" --trace "$1" >/dev/full' "$replay" "$tmp/trace"
printf '#> a caption\nevent 1 NavHome\n' >"$tmp/short.scn"
expect 1 "lumora demo: $full" sh -c '"$0" demo --fast --panel plain --scenario "$1" >/dev/full' \
  "$lumora" "$tmp/short.scn"
# The agent runs on without its face, and says so when it ends.
socket=$tmp/agent.sock
"$lumora" run --socket "$socket" --panel plain --quiet >/dev/full 2>"$tmp/run.err" &
agent=$!
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
"$lumora" send --socket "$socket" 1 NavHome || { echo "FAIL: the agent stopped at its face's error"; fail=1; }
"$lumora" send --socket "$socket" --close
wait "$agent"
status=$?
agent=
[ $status = 1 ] && grep -qxF "lumora: $full" "$tmp/run.err" ||
  { echo "FAIL: lumora run >/dev/full: status $status:"; cat "$tmp/run.err"; fail=1; }

# A socket folder named by XDG_RUNTIME_DIR that cannot be used: the agent and the sender say
# which folder and what is wrong with it, status 1.
mkdir "$tmp/open" "$tmp/theirs"
chmod 0755 "$tmp/open"
touch "$tmp/file"
cases=("$tmp/gone|does not exist"
  "$tmp/file|is not a folder; refusing to use it"
  "$tmp/open|has mode 0755; it must be 0700 (yours alone): refusing to use it")
# Another user's folder, where this user may give one away (root).
if chown 65534 "$tmp/theirs" 2>/dev/null; then
  chmod 0700 "$tmp/theirs"
  cases+=("$tmp/theirs|belongs to user 65534, not to you; refusing to use it")
fi
for case in "${cases[@]}"; do
  folder=${case%%|*}
  said="the socket folder $folder (XDG_RUNTIME_DIR) ${case#*|}"
  expect 1 "lumora: $said" env XDG_RUNTIME_DIR="$folder" timeout 10 "$lumora" run --panel none --quiet
  [ "$folder" = "$tmp/gone" ] && said="the agent is not running: $said"
  expect 1 "lumora send: $said" env XDG_RUNTIME_DIR="$folder" "$lumora" send 1 NavHome
done

[ $fail = 0 ] && echo "exit statuses: all checks passed"
exit $fail
