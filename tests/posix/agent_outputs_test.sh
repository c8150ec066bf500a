#!/usr/bin/env bash
# Every program writes only regular files that are its own, by one rule: a FIFO, a device or a
# socket named for the agent's --trace or --record is refused before the socket listens (no
# sender ever waits on an agent stuck in open), and for the follower's --capture before it
# starts; another user's symbolic link is not followed while the user's own is, and a second
# agent refuses a recording the first one holds, each with one clear line and status 1. A
# capture that cannot be written once Kodi talks (past the file size limit) ends the follower
# with status 1 as well.
#
#   agent_outputs_test.sh LUMORA
set -u
lumora=$1
work=$(mktemp -d /tmp/lumora-outputs-XXXXXX)
agents=()
cleanup() {
  for pid in "${agents[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export TMPDIR=$work XDG_RUNTIME_DIR=
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

# refused NAME OPTION PATH NEEDLE: the agent ends at once with status 1, NEEDLE on standard
# error, and never listened (no socket left).
refused() {
  local name=$1 option=$2 path=$3 needle=$4 socket=$work/$1.sock status
  timeout -k 1 5 "$lumora" run --socket "$socket" --panel none --quiet "$option" "$path" \
    2>"$work/err" >/dev/null
  status=$?
  [[ $status == 1 ]] || fail "$name: status $status, wanted 1 (124: the agent hung)"
  grep -qF -- "$needle" "$work/err" || { fail "$name: wanted '$needle'"; cat "$work/err" >&2; }
  [[ -e $socket ]] && fail "$name: the agent listened"
}

mkfifo "$work/fifo"
python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$work/sock" ||
  fail "could not make a socket file"
printf 'keep me\n' >"$work/victim"
ln -s "$work/victim" "$work/their-link"
chown_ok=0
if [[ $(id -u) == 0 ]] && chown -h nobody "$work/their-link" 2>/dev/null; then chown_ok=1; fi

for option in --trace --record; do
  what=${option#--}
  [[ $what == record ]] && what=recording
  refused "fifo${option}" "$option" "$work/fifo" \
    "lumora: cannot write the $what $work/fifo: it is not a regular file"
  refused "device${option}" "$option" /dev/null \
    "lumora: cannot write the $what /dev/null: it is not a regular file"
  refused "socket${option}" "$option" "$work/sock" \
    "lumora: cannot write the $what $work/sock: it is not a regular file"
  refused "folder${option}" "$option" "$work" "lumora: cannot write the $what $work: it is a folder"
  if ((chown_ok)); then
    refused "their-link${option}" "$option" "$work/their-link" \
      "lumora: cannot write the $what $work/their-link: it is a symbolic link of user $(id -u nobody)"
    [[ $(cat "$work/victim") == "keep me" ]] || fail "their-link$option: the link's target changed"
  fi
done
# capture_refused NAME PATH REASON: `lumora kodi --capture PATH` ends at once with status 1 and
# the one line "lumora kodi: cannot write the capture PATH: REASON" (no Kodi needed: the capture
# is opened first).
capture_refused() {
  local name=$1 path=$2 reason=$3 status
  timeout -k 1 5 "$lumora" kodi --port 1 --socket "$work/none.sock" --capture "$path" \
    2>"$work/err" >/dev/null
  status=$?
  [[ $status == 1 ]] || fail "capture $name: status $status, wanted 1 (124: it hung)"
  local wanted="lumora kodi: cannot write the capture $path: $reason"
  [[ $(cat "$work/err") == "$wanted" ]] || {
    fail "capture $name: wanted the one line '$wanted'"
    cat "$work/err" >&2
  }
}
capture_refused fifo "$work/fifo" "it is not a regular file"
capture_refused device /dev/full "it is not a regular file"
capture_refused socket "$work/sock" "it is not a regular file"
capture_refused folder "$work" "it is a folder"
if ((chown_ok)); then
  capture_refused their-link "$work/their-link" \
    "it is a symbolic link of user $(id -u nobody), not yours; refusing to follow it"
  [[ $(cat "$work/victim") == "keep me" ]] || fail "capture their-link: the link's target changed"
fi

# A second follower refuses the capture the first one writes.
"$lumora" kodi --port 1 --socket "$work/none.sock" --capture "$work/held.cap" 2>/dev/null &
follower=$!
for ((i = 0; i < 100; ++i)); do
  [[ -e $work/held.cap ]] && break
  sleep 0.05
done
sleep 0.1  # created, then locked: a moment apart
capture_refused second-follower "$work/held.cap" "another follower writes it"
kill "$follower"
wait "$follower" 2>/dev/null

# Past the file size limit the capture's first line cannot be written: once Kodi (a listener of
# the test's own) answers, the follower says so and ends with status 1, not killed by SIGXFSZ.
python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
c, _ = s.accept(); time.sleep(5)' "$work/kodi_port" &
listener=$!
for ((i = 0; i < 100; ++i)); do
  [[ -s $work/kodi_port ]] && break
  sleep 0.05
done
kodi_port=$(cat "$work/kodi_port")
# Standard error through a pipe: a file would be past the limit as well.
err=$( (ulimit -f 0; exec timeout -k 1 5 "$lumora" kodi --port "$kodi_port" \
  --socket "$work/none.sock" --capture "$work/capture" 2>&1 >/dev/null))
status=$?
printf '%s\n' "$err" >"$work/err"
kill "$listener" 2>/dev/null
wait "$listener" 2>/dev/null
[[ $status == 1 ]] || fail "capture past the size limit: status $status, wanted 1"
grep -qxF "lumora kodi: cannot write the capture $work/capture" "$work/err" ||
  { fail "capture past the size limit: no line saying so"; cat "$work/err" >&2; }

((chown_ok)) || echo "note: not root, another user's link not tried"

# The user's own link is followed: the recording lands in its target.
ln -s "$work/mine.rec" "$work/my-link"
socket=$work/own.sock
"$lumora" run --socket "$socket" --panel none --quiet --record "$work/my-link" 2>"$work/own.err" &
agents+=($!)
for ((i = 0; i < 100; ++i)); do
  [[ -S $socket ]] && break
  sleep 0.05
done
[[ -S $socket ]] || fail "own link: the agent did not listen ($(cat "$work/own.err"))"

# A second agent, on a socket of its own, refuses the recording the first one holds.
refused second-agent --record "$work/my-link" \
  "lumora: cannot write the recording $work/my-link: another agent writes it"
"$lumora" send --socket "$socket" 7 NavHome >/dev/null || fail "own link: send failed"
"$lumora" send --socket "$socket" --close >/dev/null || fail "own link: close failed"
wait "${agents[0]}" || fail "own link: the agent ended with status $?"
agents=()
[[ -L $work/my-link ]] || fail "own link: the link was replaced"
grep -q '^event 7 ' "$work/mine.rec" || fail "own link: the event is not in the link's target"
exit $failed
