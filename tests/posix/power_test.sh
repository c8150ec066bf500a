#!/usr/bin/env bash
# The Linux host follows the login manager's sleep and wake on the system bus. A private
# system bus (dbus-daemon on a socket of the test's own) with a stand-in login manager (no
# real one can run in a test): the agent takes a delay lock at start, NavHome gives it the
# panel, PrepareForSleep(true) must hand the clock to the panel before the agent lets go of
# its lock, PrepareForSleep(false) must take the panel back and take the lock again; the trace
# is checked against expectations written by hand. Without a system bus, and with a bus but no
# login manager, the agent says so in one line and serves its socket as ever.
#
#   power_test.sh LUMORA LOGIN_STAND_IN TRACE_CHECK EXPECT_DIR
set -euo pipefail
lumora=$1 login=$2 check=$3 expect=$4

if ! command -v dbus-daemon >/dev/null 2>&1; then
  echo "SKIP: dbus-daemon is missing (Debian package dbus)"
  exit 77
fi

work=$(mktemp -d /tmp/lumora-power-XXXXXX)
pids=()
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.log "$work"/login.out; do [[ -f $f ]] && sed "s|^|  $(basename "$f"): |" "$f" >&2; done
  exit 1
}
export TMPDIR=$work XDG_RUNTIME_DIR=
socket=$work/agent.sock

wait_for() {  # DESCRIPTION COMMAND...: up to 5 s
  local what=$1
  shift
  for ((i = 0; i < 100; ++i)); do
    "$@" && return 0
    sleep 0.05
  done
  fail "$what did not happen within 5 s"
}

# A bus of the system's kind on a private socket, where anyone may own any name.
start_bus() {  # NAME
  cat >"$work/$1.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/$1.socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  dbus-daemon --config-file="$work/$1.conf" --nofork --nopidfile 2>"$work/$1.log" &
  pids+=($!)
  wait_for "the private system bus $1" test -S "$work/$1.socket"
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/$1.socket
}

start_agent() {  # TRACE LOG
  "$lumora" run --socket "$socket" --panel none --trace "$1" 2>"$2" &
  agent=$!
  pids+=("$agent")
  wait_for "the agent listening" test -S "$socket"
}
stop_agent() {
  "$lumora" send --socket "$socket" --close || fail "lumora send --close failed"
  wait "$agent" || fail "the agent ended with status $?"
}
said() {  # LINE: the stand-in has printed LINE
  grep -qxF -- "$1" "$work/login.out"
}

# --- sleep and wake ---------------------------------------------------------------------------
start_bus system
mkfifo "$work/login.ctl"
"$login" <"$work/login.ctl" >"$work/login.out" 2>"$work/login.log" &
login_pid=$!
pids+=("$login_pid")
exec 3>"$work/login.ctl"
wait_for "the stand-in owning its name" said ready

start_agent "$work/sleep.trace" "$work/agent.log"
echo wait-lock >&3
lock='lock sleep Lumora "Hands the clock to the panel" delay'
wait_for "the agent's delay lock" said "$lock"
"$lumora" send --socket "$socket" 1 NavHome || fail "lumora send NavHome failed"
sleep 1.2

echo sleep >&3
wait_for "the end of the sleep" grep -qE '^(released|still locked)$' "$work/login.out"
said released || fail "the agent kept its delay lock after the sleep was announced"
# The lock is let go only once the clock is with the panel.
cp "$work/sleep.trace" "$work/at_release.trace"
"$check" "$expect/power_before_sleep.expect" "$work/at_release.trace" ||
  fail "the agent let the machine sleep before the panel had its clock"
sleep 2.2

echo wake >&3
wait_for "the wake" said woke
echo wait-lock >&3
wait_for "the delay lock taken again" test "$(grep -cxF -- "$lock" "$work/login.out")" -eq 2
sleep 1.2
stop_agent
"$check" "$expect/power_sleep_wake.expect" "$work/sleep.trace" ||
  fail "the trace of sleep and wake is not the expected one"
if grep -q 'system bus\|login manager' "$work/agent.log"; then
  fail "the agent complained with a login manager there: $(cat "$work/agent.log")"
fi
# Its commands ended, the stand-in leaves; the bus stays, without a login manager.
exec 3>&-
wait "$login_pid" || fail "the stand-in login manager failed"

# --- no system bus, no login manager ----------------------------------------------------------
# Each: the address of the system bus, the one line the agent must write about it.
cases=(
  "unix:path=$work/nobody.socket|no system bus (unix:path=$work/nobody.socket: No such file or directory): suspend and resume are not followed"
  "unix:path=$work/system.socket|no login manager (org.freedesktop.login1) on the system bus: suspend and resume are not followed"
)
for entry in "${cases[@]}"; do
  address=${entry%%|*} line=${entry#*|}
  export DBUS_SYSTEM_BUS_ADDRESS=$address
  start_agent "$work/nobus.trace" "$work/nobus.log"
  "$lumora" send --socket "$socket" 1 NavHome || fail "lumora send NavHome failed ($address)"
  wait_for "the note about $address" grep -qF -- "lumora: $line" "$work/nobus.log"
  stop_agent
  notes=$(grep -vc '^lumora: listening on ' "$work/nobus.log" || true)
  ((notes == 1)) || fail "the agent wrote $notes lines about the bus ($address), not one"
  "$check" "$expect/power_no_login.expect" "$work/nobus.trace" ||
    fail "the agent without a login manager did not serve as ever ($address)"
done
echo "sleep and wake follow the login manager; no bus and no login manager are one line each"
