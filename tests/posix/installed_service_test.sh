#!/usr/bin/env bash
# The installed tree as a service uses it: `cmake --install` into a fresh prefix, a user's
# configuration file naming LCDd as the panel and a socket of its own, the command line of the
# installed unit (its ExecStart, standard output not a terminal, as under systemd) started as it
# stands; then the installed `lumora send` and `lumora status` find the agent through the same
# file, and LCDd (its text driver) shows the panel's channel.
#
#   installed_service_test.sh BUILD_DIR
#
# Exit status 77 (skipped) without LCDd (Debian package lcdproc) or python3 (for a free port).
set -u
build=$1
lcdd=/usr/sbin/LCDd
drivers=/usr/lib/x86_64-linux-gnu/lcdproc/
if [ ! -x "$lcdd" ] || [ ! -d "$drivers" ]; then
  echo "SKIP: LCDd is missing (Debian package lcdproc)"
  exit 77
fi
if ! command -v python3 >/dev/null; then
  echo "SKIP: python3 is missing (Debian package python3)"
  exit 77
fi
. "$(dirname "$0")/test_lib.sh"
posix_test_start service
lcdd_pid=
trap '[ -n "$lcdd_pid" ] && kill "$lcdd_pid" 2>/dev/null; posix_test_cleanup' EXIT

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
unit=$prefix/lib/systemd/user/lumora.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ -n "$exec_start" ] || { echo "FAIL: the installed unit has no ExecStart"; exit 1; }

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$tmp/LCDd.conf" <<EOF
[server]
DriverPath=$drivers
Driver=text
Bind=127.0.0.1
Port=$port
Foreground=yes
ServerScreen=no
WaitTime=2
[text]
Size=20x4
EOF
# The text driver prints every frame; line-buffered, each frame is in the file at once.
stdbuf -oL "$lcdd" -c "$tmp/LCDd.conf" >"$tmp/lcdd.out" 2>"$tmp/lcdd.err" &
lcdd_pid=$!

export XDG_CONFIG_HOME=$tmp/config
mkdir -p "$XDG_CONFIG_HOME/lumora"
cat >"$XDG_CONFIG_HOME/lumora/lumora.conf" <<EOF
panel = "lcdproc"
socket = "$tmp/agent.sock"

[lcdproc]
server = "127.0.0.1:$port"
EOF

# As systemd starts it: the unit's command as it stands, output to a file.
$exec_start >"$tmp/agent.out" 2>"$tmp/agent.err" &
agent=$!
for _ in $(seq 100); do [ -S "$tmp/agent.sock" ] && break; sleep 0.1; done
[ -S "$tmp/agent.sock" ] || { echo "FAIL: the agent did not listen on the file's socket"; cat "$tmp/agent.err"; exit 1; }

# The Media Center shell, then live TV on channel 7: "CH-007" on the panel's line 2.
for event in "1 NavHome" "7 SessionOpened" "7 LiveTvStarted" "7 ItemNumber 7" "7 Play"; do
  # shellcheck disable=SC2086
  "$prefix/bin/lumora" send $event || { echo "FAIL: the installed lumora send $event"; fail=1; }
done
shown=no
for _ in $(seq 50); do
  grep -q '^|CH-007' "$tmp/lcdd.out" && { shown=yes; break; }
  sleep 0.1
done
[ $shown = yes ] || {
  echo "FAIL: LCDd did not show CH-007; its last frame:"
  tail -n 6 "$tmp/lcdd.out"
  fail=1
}

"$prefix/bin/lumora" status >"$tmp/status" 2>"$tmp/status.err"
status=$?
[ $status = 0 ] && grep -q '^line 2: "CH-007 *"$' "$tmp/status" || {
  echo "FAIL: the installed lumora status (status $status):"
  cat "$tmp/status" "$tmp/status.err"
  fail=1
}

"$prefix/bin/lumora" send --close || { echo "FAIL: the installed lumora send --close"; fail=1; }
wait "$agent"
status=$?
agent=
[ $status = 0 ] || { echo "FAIL: the agent ended with status $status:"; cat "$tmp/agent.err"; fail=1; }
[ ! -s "$tmp/agent.out" ] || { echo "FAIL: the agent wrote on standard output:"; head "$tmp/agent.out"; fail=1; }

[ $fail = 0 ] && echo "the installed unit's command showed the panel on LCDd; send and status found it through the file"
exit $fail
