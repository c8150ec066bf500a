#!/usr/bin/env bash
# The configuration file of `lumora run` and the bridges: a file in error is one line naming the
# file, the line and what is allowed, with status 2, and the agent does not start; a good one
# gives its settings, the command line goes over them, and --print-config says where each one
# came from. Every expected line below is written from the documented rules.
#
#   config_test.sh LUMORA
set -u
lumora=$1
fail=0
tmp=$(mktemp -d)
agent=
trap '[ -n "$agent" ] && kill "$agent" 2>/dev/null; rm -rf "$tmp"' EXIT

export XDG_CONFIG_HOME=$tmp/config
export LUMORA_SYSTEM_CONFIG=$tmp/etc/lumora.conf
export XDG_RUNTIME_DIR=$tmp/run
export HOME=$tmp/home
mkdir -p "$XDG_CONFIG_HOME/lumora" "$tmp/etc" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
user=$XDG_CONFIG_HOME/lumora/lumora.conf
system=$LUMORA_SYSTEM_CONFIG

# files USER-TEXT SYSTEM-TEXT: writes the two files ("-": no such file).
files() {
  rm -rf "$user" "$system"
  [ "$1" = - ] || printf '%b' "$1" >"$user"
  [ "$2" = - ] || printf '%b' "$2" >"$system"
}

# A file in error: the agent must not start (no socket), status 2, and the one line.
# bad USER-TEXT SYSTEM-TEXT EXPECTED-LINE [ARGS...]
bad() {
  local userText=$1 systemText=$2 expected=$3
  shift 3
  files "$userText" "$systemText"
  rm -f "$tmp/agent.sock"
  timeout 10 "$lumora" run --socket "$tmp/agent.sock" --panel none "$@" >"$tmp/out" 2>"$tmp/err"
  local status=$?
  if [ $status != 2 ] || [ "$(cat "$tmp/err")" != "$expected" ] || [ -e "$tmp/agent.sock" ]; then
    echo "FAIL: user file '$userText', system file '$systemText': status $status, standard error:"
    cat "$tmp/err"
    echo "wanted status 2, no socket, and:"
    echo "$expected"
    fail=1
  fi
}

allowed='socket, panel, trace, record, verbose, [lcdproc], [kodi], [follow]'
bad 'pannel = "none"\n' - "lumora: $user:1: unknown key 'pannel' (allowed: $allowed)"
bad '# the panel\npanel = 3\n' - \
  "lumora: $user:2: 'panel' wants a string, not an integer (allowed: term, plain, none, lcdproc)"
bad 'panel = "lcd"\n' - "lumora: $user:1: 'panel' is 'lcd' (allowed: term, plain, none, lcdproc)"
bad 'panel = "lcdproc"\n[lcdproc]\n' - \
  "lumora: $user:2: [lcdproc] has no server (allowed: server = \"HOST:PORT\", a port from 1 to 65535)"
bad 'panel = "lcdproc"\n\n[lcdproc]\nserver = "127.0.0.1"\n' - \
  "lumora: $user:4: 'lcdproc.server' is '127.0.0.1' (allowed: \"HOST:PORT\", a port from 1 to 65535)"
bad '[lcdproc]\nserver = ":13666"\n' - \
  "lumora: $user:2: 'lcdproc.server' is ':13666' (allowed: \"HOST:PORT\", a port from 1 to 65535)"
bad '[lcdproc]\nserver = "lcd:65536"\n' - \
  "lumora: $user:2: 'lcdproc.server' is 'lcd:65536' (allowed: \"HOST:PORT\", a port from 1 to 65535)"
bad 'lcdproc = "127.0.0.1:13666"\n' - \
  "lumora: $user:1: 'lcdproc' wants a table, not a string (allowed: [lcdproc] with server)"
bad 'verbose = "yes"\n' - "lumora: $user:1: 'verbose' wants a boolean, not a string (allowed: true, false)"
bad 'trace = "evening.trace"\n' - \
  "lumora: $user:1: 'trace' is 'evening.trace' (allowed: an absolute path, or one starting with ~/)"
bad 'socket = ["/tmp/a"]\n' - \
  "lumora: $user:1: 'socket' wants a string, not an array (allowed: an absolute path, or one starting with ~/)"
bad '[kodi]\nport = 0\n' - "lumora: $user:2: 'kodi.port' is 0 (allowed: 1 to 65535)"
bad '[kodi]\nport = "9090"\n' - "lumora: $user:2: 'kodi.port' wants an integer, not a string (allowed: 1 to 65535)"
bad '[kodi]\nhots = "kodi.local"\n' - "lumora: $user:2: unknown key 'hots' in [kodi] (allowed: host, port)"
bad '[mpv]\n' - "lumora: $user:1: unknown key 'mpv' (allowed: $allowed)"
# The first fault in the file's order, not in the order the parser keeps its keys.
bad 'panel = "none"\nzzz = 1\naaa = 2\n' - "lumora: $user:2: unknown key 'zzz' (allowed: $allowed)"
# The system file when the user has none.
bad - 'socket = "/tmp/x"\npanel = "lcd"\n' \
  "lumora: $system:2: 'panel' is 'lcd' (allowed: term, plain, none, lcdproc)"
# Wrong in the file, however much the command line says.
bad 'panel = "lcd"\n' - "lumora: $user:1: 'panel' is 'lcd' (allowed: term, plain, none, lcdproc)" \
  --trace "$tmp/t"
# The command line's form of the panel names its server; the file keeps it in [lcdproc].
bad 'panel = "lcdproc=lcd:13667"\n' - \
  "lumora: $user:1: 'panel' is 'lcdproc=lcd:13667' (allowed: term, plain, none, lcdproc); in the file the server goes apart: panel = \"lcdproc\" and, under [lcdproc], server = \"lcd:13667\""
# The file's control characters (an escape sequence, line breaks, a bell, a C1 control) reach
# the terminal as \xHH, in a value, in a key and in the file's name; the parser's own words
# never hold one either.
bad 'panel = "\\u001b[2J\\r\\nnone\\u009b"\n' - \
  "lumora: $user:1: 'panel' is '\\x1b[2J\\x0d\\x0anone\\xc2\\x9b' (allowed: term, plain, none, lcdproc)"
bad '"pa\\u0007nel" = "none"\n' - "lumora: $user:1: unknown key 'pa\\x07nel' (allowed: $allowed)"
files 'panel = "none\033]0;title\007"\n' -
timeout 10 "$lumora" run --socket "$tmp/agent.sock" >/dev/null 2>"$tmp/err"
status=$?
if [ $status != 2 ] || [ "$(wc -l <"$tmp/err")" != 1 ] || grep -q "$(printf '[\001-\037]')" "$tmp/err"; then
  echo "FAIL: a raw escape in a string: status $status:"; cat -v "$tmp/err"; fail=1
fi
# ... and in the file's name (here the system's).
odd=$tmp/etc/odd$(printf '\033')[1mname.conf
rm -f "$user"
printf 'panel = "lcd"\n' >"$odd"
LUMORA_SYSTEM_CONFIG=$odd timeout 10 "$lumora" run --socket "$tmp/agent.sock" >/dev/null 2>"$tmp/err"
status=$?
[ $status = 2 ] && [ "$(cat "$tmp/err")" = "lumora: $tmp/etc/odd\\x1b[1mname.conf:1: 'panel' is 'lcd' (allowed: term, plain, none, lcdproc)" ] ||
  { echo "FAIL: a control character in the file's name: status $status:"; cat -v "$tmp/err"; fail=1; }
rm -f "$odd"
# Not TOML at all: the parser's own words, on the line where it stopped.
files 'panel = "none\n' -
timeout 10 "$lumora" run --socket "$tmp/agent.sock" >/dev/null 2>"$tmp/err"
status=$?
if [ $status != 2 ] || [ "$(wc -l <"$tmp/err")" != 1 ] || ! grep -q "^lumora: $user:1: ." "$tmp/err"; then
  echo "FAIL: a file that is not TOML: status $status:"; cat "$tmp/err"; fail=1
fi
# A folder where the file should be.
rm -rf "$user" && mkdir "$user"
bad_folder=$(timeout 10 "$lumora" run --socket "$tmp/agent.sock" 2>&1 >/dev/null)
status=$?
[ $status = 2 ] && [ "$bad_folder" = "lumora: $user: is a folder, not a configuration file" ] ||
  { echo "FAIL: a folder as the file: status $status: $bad_folder"; fail=1; }
rmdir "$user"
# A FIFO or a device where the file should be: refused at once, never waited on, by every
# command that reads the file.
rm -f "$user" && mkfifo "$user"
for command in run send status kodi mpris; do
  case $command in
    send) args=(1 NavHome) ;;
    run) args=(--socket "$tmp/agent.sock") ;;
    *) args=() ;;
  esac
  refused=$(timeout 5 "$lumora" "$command" "${args[@]}" 2>&1 >/dev/null)
  status=$?
  [ $status = 2 ] && [ "$refused" = "lumora: $user: is a FIFO, not a configuration file" ] ||
    { echo "FAIL: lumora $command with a FIFO as the file: status $status: $refused"; fail=1; }
done
rm -f "$user"
ln -s /dev/null "$user"
refused=$(timeout 5 "$lumora" run --print-config 2>&1 >/dev/null)
status=$?
[ $status = 2 ] && [ "$refused" = "lumora: $user: is a character device, not a configuration file" ] ||
  { echo "FAIL: /dev/null as the file: status $status: $refused"; fail=1; }
rm -f "$user"

# --print-config: the settings, where each came from; standard output is a file here, so the
# default panel is plain.
# shows USER-TEXT SYSTEM-TEXT EXPECTED [ARGS...]
shows() {
  local userText=$1 systemText=$2 expected=$3
  shift 3
  files "$userText" "$systemText"
  timeout 10 "$lumora" run --print-config "$@" >"$tmp/out" 2>"$tmp/err"
  local status=$?
  if [ $status != 0 ] || [ -s "$tmp/err" ] || [ "$(cat "$tmp/out")" != "$expected" ]; then
    echo "FAIL: --print-config $* with user file '$userText', system file '$systemText': status $status"
    diff <(echo "$expected") "$tmp/out"
    cat "$tmp/err"
    fail=1
  fi
}

header='# lumora run: the settings in force and where each one comes from'
shows - - "$header
# no configuration file (looked for $user and $system)
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"plain\"  # default: standard output is not a terminal
trace = (none)  # default
record = (none)  # default
verbose = false  # default
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = true  # default"

every='# every setting\nsocket = "~/lumora.sock"\npanel = "lcdproc"\ntrace = "/var/tmp/t"\nrecord = "~/r.scn"\nverbose = true\n\n[lcdproc]\nserver = "lcd.local:13667"\n\n[kodi]\nhost = "kodi.local"\nport = 8080\n'
shows "$every" - "$header
# read $user
socket = \"$HOME/lumora.sock\"  # $user:2
panel = \"lcdproc\"  # $user:3
trace = \"/var/tmp/t\"  # $user:4
record = \"$HOME/r.scn\"  # $user:5
verbose = true  # $user:6
lcdproc.server = \"lcd.local:13667\"  # $user:9
kodi.host = \"kodi.local\"  # $user:12
kodi.port = 8080  # $user:13
follow.kodi = true  # default
follow.mpris = true  # default"

# The command line wins, setting by setting; --panel lcdproc alone keeps the file's server.
shows "$every" - "$header
# read $user
socket = \"$tmp/s\"  # command line
panel = \"lcdproc\"  # command line
trace = \"$tmp/t2\"  # command line
record = \"$HOME/r.scn\"  # $user:5
verbose = true  # $user:6
lcdproc.server = \"lcd.local:13667\"  # $user:9
kodi.host = \"kodi.local\"  # $user:12
kodi.port = 8080  # $user:13
follow.kodi = true  # default
follow.mpris = true  # default" --socket "$tmp/s" --panel lcdproc --trace "$tmp/t2"
shows "$every" - "$header
# read $user
socket = \"$HOME/lumora.sock\"  # $user:2
panel = \"lcdproc\"  # command line
trace = \"/var/tmp/t\"  # $user:4
record = \"$HOME/r.scn\"  # $user:5
verbose = true  # $user:6
lcdproc.server = \"10.1.2.3:1\"  # command line
kodi.host = \"kodi.local\"  # $user:12
kodi.port = 8080  # $user:13
follow.kodi = true  # default
follow.mpris = true  # default" --panel lcdproc=10.1.2.3:1
shows 'panel = "lcdproc"\n' - "$header
# read $user
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"none\"  # command line
trace = (none)  # default
record = (none)  # default
verbose = true  # command line
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = true  # default" --panel none -v

# The follower's sources, each switchable.
shows '[follow]\nmpris = false\n' - "$header
# read $user
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"plain\"  # default: standard output is not a terminal
trace = (none)  # default
record = (none)  # default
verbose = false  # default
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = false  # $user:2"
bad '[follow]\nkodi = "no"\n' - "lumora: $user:2: 'follow.kodi' wants a boolean, not a string (allowed: true, false)"

# --no-verbose goes over the file's verbose = true, as -v goes over false.
shows 'verbose = true\n' - "$header
# read $user
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"plain\"  # default: standard output is not a terminal
trace = (none)  # default
record = (none)  # default
verbose = false  # command line
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = true  # default" --no-verbose

# Both files: the user's is read whole and the system's not at all (not even checked).
shows 'verbose = true\n' 'panel = "lcd"\n' "$header
# read $user
# not read: $system (the user's file comes first)
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"plain\"  # default: standard output is not a terminal
trace = (none)  # default
record = (none)  # default
verbose = true  # $user:1
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = true  # default"
shows - '[kodi]\nport = 9191\n' "$header
# read $system
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"plain\"  # default: standard output is not a terminal
trace = (none)  # default
record = (none)  # default
verbose = false  # default
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9191  # $system:2
follow.kodi = true  # default
follow.mpris = true  # default"

# --no-config: no file read, not even one in error; the demo's agent runs so, whatever the
# user's file says.
shows 'panel = "lcd"\n' - "$header
# no configuration file read (--no-config)
socket = \"$XDG_RUNTIME_DIR/lumora.sock\"  # default
panel = \"none\"  # command line
trace = (none)  # default
record = (none)  # default
verbose = false  # default
lcdproc.server = \"127.0.0.1:13666\"  # default
kodi.host = \"127.0.0.1\"  # default
kodi.port = 9090  # default
follow.kodi = true  # default
follow.mpris = true  # default" --no-config --panel none
files "panel = \"lcd\"\ntrace = \"$tmp/demo.trace\"\n" -
timeout 60 "$lumora" demo --fast --panel plain >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 0 ] && [ ! -e "$tmp/demo.trace" ] && grep -q '^panel ' "$tmp/out" ||
  { echo "FAIL: lumora demo with a file in error: status $status"; cat "$tmp/err"; fail=1; }

# The socket of the file serves the agent and every sender: `lumora send` finds the agent there
# without --socket, and so does the close request.
files "socket = \"$tmp/from-file.sock\"\npanel = \"none\"\n" -
"$lumora" run --quiet >"$tmp/out" 2>"$tmp/err" &
agent=$!
for _ in $(seq 100); do [ -S "$tmp/from-file.sock" ] && break; sleep 0.05; done
timeout 10 "$lumora" send 1 NavHome 2>>"$tmp/err" ||
  { echo "FAIL: lumora send did not reach the agent on the file's socket"; fail=1; }
timeout 10 "$lumora" send --close 2>>"$tmp/err" || { echo "FAIL: lumora send --close"; fail=1; }
timeout 10 tail --pid="$agent" -f /dev/null
wait "$agent"
status=$?
agent=
[ $status = 0 ] && [ ! -e "$tmp/from-file.sock" ] && [ ! -s "$tmp/out" ] && [ ! -s "$tmp/err" ] ||
  { echo "FAIL: the agent on the file's socket: status $status"; cat "$tmp/out" "$tmp/err"; fail=1; }
# The Kodi bridge looks for Kodi where the file says, unless --host or --port say otherwise
# (nothing listens on ports 1 and 2 of 127.0.0.1: it says so and waits, until the timeout).
files '[kodi]\nhost = "127.0.0.1"\nport = 1\n' -
for args in "|127.0.0.1:1" "--port 2|127.0.0.1:2"; do
  timeout 2 "$lumora" kodi ${args%%|*} --socket "$tmp/none.sock" >/dev/null 2>"$tmp/err"
  grep -q "^lumora kodi: Kodi is not answering on ${args##*|} " "$tmp/err" ||
    { echo "FAIL: lumora kodi ${args%%|*} with the file's [kodi]:"; cat "$tmp/err"; fail=1; }
done
# A bridge stops at a file in error as well.
files 'panel = "lcd"\n' -
timeout 10 "$lumora" send 1 NavHome >/dev/null 2>"$tmp/err"
status=$?
[ $status = 2 ] && [ "$(cat "$tmp/err")" = "lumora: $user:1: 'panel' is 'lcd' (allowed: term, plain, none, lcdproc)" ] ||
  { echo "FAIL: lumora send with a file in error: status $status"; cat "$tmp/err"; fail=1; }

[ $fail = 0 ] && echo "the configuration file: every case as documented"
exit $fail
