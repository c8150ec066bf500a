# shellcheck shell=bash
# shellcheck disable=SC2154 # lumora, replay and check are the sourcing test's
# Shared by the live tests of lumora mpris (sourced): a private folder and session bus, the
# agent recording what it receives with --panel none, lumora mpris -v between the players and
# the agent, and at the end the agent's received events checked against events written by hand.
#
#   source mpris_lib.sh
#   mpris_need TOOL:PACKAGE...          exits 77 naming the package of a missing program
#   mpris_start NAME [open]             the folder ($work), the bus (open: any user may join it),
#                                       the agent and lumora mpris; needs $lumora
#   mpris_display                       a virtual display of its own in DISPLAY (Xvfb)
#   ... the players, wait_for and received ...
#   mpris_finish EXPECTED [CAPTURE]     stops lumora mpris and the agent, compares, checks the
#                                       trace against a replay (needs $replay, $check), and
#                                       writes the -v lines to CAPTURE when given
#
# Everything started (added to pids) is stopped and the folder removed however the test ends.

mpris_need() {
  local tool
  for tool in "$@"; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
      echo "SKIP: ${tool%%:*} is missing (Debian package ${tool#*:}; scripts/install-deps.sh installs it)"
      exit 77
    fi
  done
}

mpris_cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$work"/{mpris,agent,compare}.log; do [[ -f $f ]] && sed "s|^|  $(basename "$f"): |" "$f" >&2; done
  [[ -f $work/agent.rec ]] && grep '^event ' "$work/agent.rec" | sed 's|^|  received: |' >&2
  exit 1
}

wait_for() {  # DESCRIPTION COMMAND...: up to 10 s (WAIT_STEPS steps of 50 ms when set)
  local what=$1 i
  shift
  for ((i = 0; i < ${WAIT_STEPS:-200}; ++i)); do
    "$@" && return 0
    sleep 0.05
  done
  fail "$what did not happen within $((${WAIT_STEPS:-200} / 20)) s"
}

received() {  # PATTERN [N [RECORDING]]: the agent received N events (default 1) matching PATTERN
  [[ $(grep -cE "$1" "${3:-$work/agent.rec}" 2>/dev/null) -eq ${2:-1} ]]
}

status_of() {  # PLAYER STATUS: playerctl says the player is in that state
  [[ $(playerctl -p "$1" status 2>/dev/null) == "$2" ]]
}

# A session bus of the test's own. "open" lets other users join it: VLC refuses to run as root,
# so a test run as root starts it as nobody (mpris_player).
mpris_bus() {
  local bus
  if [[ ${1:-} == open ]]; then
    cat >"$work/bus.conf" <<XML
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
XML
    bus=$(dbus-daemon --config-file="$work/bus.conf" --fork --print-address=1 --print-pid=1)
  else
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --address="unix:path=$work/bus")
  fi
  DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  export DBUS_SESSION_BUS_ADDRESS
  pids+=("$(sed -n 2p <<<"$bus")")
}

# LOG COMMAND...: starts a player in the background, its output in LOG and its process id in
# REPLY: as the user running the test, or as nobody when that is root (with a home of its own in
# $work/player, where the test puts the files it plays).
mpris_player() {
  local log=$1
  shift
  if ((EUID == 0)); then
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env HOME="$work/player" XDG_RUNTIME_DIR="$work/player" "$@" >"$log" 2>&1 &
  else
    "$@" >"$log" 2>&1 &
  fi
  REPLY=$!
  pids+=("$REPLY")
}

mpris_start() {
  work=$(mktemp -d "/tmp/lumora-$1-XXXXXX")
  pids=()
  trap mpris_cleanup EXIT
  export TMPDIR=$work XDG_RUNTIME_DIR=$work HOME=$work
  chmod 700 "$work"
  if [[ ${2:-} == open ]]; then
    chmod 711 "$work"
    mkdir -m 755 "$work/player"
    ((EUID == 0)) && chown nobody:nogroup "$work/player"
  fi
  socket=$work/agent.sock
  mpris_bus "${2:-}"
  "$lumora" run --socket "$socket" --panel none --quiet --trace "$work/live.trace" \
    --record "$work/agent.rec" 2>"$work/agent.log" &
  agent=$!
  pids+=("$agent")
  wait_for "the agent listening" test -S "$socket"
  "$lumora" mpris --socket "$socket" -v 2>"$work/mpris.log" &
  bridge=$!
  pids+=("$bridge")
}

mpris_display() {
  local i
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=("$!")
  for ((i = 0; i < 100; ++i)); do
    [[ -s $work/display ]] && break
    sleep 0.05
  done
  [[ -s $work/display ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  DISPLAY=:$(cat "$work/display")
  export DISPLAY
}

mpris_finish() {
  local expected=$1 capture=${2:-}
  kill -TERM "$bridge"
  wait "$bridge" || fail "lumora mpris ended with status $?"
  "$lumora" send --socket "$socket" --close || fail "lumora send --close failed"
  wait "$agent" || fail "the agent ended with status $?"

  # What the agent received, without the clock and the set-up lines, against the hand-written
  # events: "playtimes SID" stands for any number of PlayTime events of that session, whose
  # number depends on how fast the test ran.
  grep -E '^event ' "$work/agent.rec" >"$work/received" || true
  awk -v expect="$expected" '
    BEGIN {
      while ((getline line < expect) > 0) {
        if (line ~ /^#/ || line ~ /^[[:space:]]*$/) continue
        want[++n] = line
      }
    }
    { got[++m] = $0 }
    END {
      i = 1; j = 1
      while (i <= n) {
        if (want[i] ~ /^playtimes /) {
          split(want[i], w, " ")
          pattern = "^event " w[2] " PlayTime \"[0-9][0-9][0-9][0-9][0-9][0-9]\"$"
          while (j <= m && got[j] ~ pattern && got[j] != want[i + 1]) j++
          i++
          continue
        }
        if (j > m || got[j] != want[i]) {
          printf "expected line %d: %s\n     received: %s\n", i, want[i], (j > m ? "(nothing more)" : got[j])
          exit 1
        }
        i++; j++
      }
      if (j <= m) { printf "received more than expected, from: %s\n", got[j]; exit 1 }
    }' "$work/received" >"$work/compare.log" || fail "the agent did not receive the expected events"

  # The panel: the live trace is the one a replay of what the agent received gives.
  "$replay" "$work/agent.rec" >"$work/replayed.trace" || fail "lumora-replay refused the recording"
  "$check" --same "$work/live.trace" "$work/replayed.trace" ||
    fail "the agent's trace is not the replay of the events it received"
  # Its notes, the events it sent (-v) aside.
  local complaints
  complaints=$(grep '^lumora mpris: ' "$work/mpris.log" | grep -v '^lumora mpris: event ' || true)
  [[ -z $complaints ]] || fail "lumora mpris complained: $complaints"
  if [[ -n $capture ]]; then
    grep -v '^lumora mpris: ' "$work/mpris.log" >"$capture"
  fi
  # shellcheck disable=SC2034 # for the test's last line
  events=$(wc -l <"$work/received")
}

# A PulseAudio server of its own with a null sink, in PULSE_SERVER: a sound output that keeps
# time for a player that plays nothing without a sound device (Firefox).
mpris_sound() {
  local i
  mkdir -m 700 "$work/pulse"
  XDG_RUNTIME_DIR=$work/pulse pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=nul" \
    --load="module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
    >"$work/pulse.log" 2>&1 &
  pids+=("$!")
  for ((i = 0; i < 100; ++i)); do
    [[ -S $work/pulse/native ]] && break
    sleep 0.05
  done
  [[ -S $work/pulse/native ]] || fail "PulseAudio did not start: $(cat "$work/pulse.log")"
  export PULSE_SERVER=unix:$work/pulse/native
}

# DIR: serves DIR over HTTP on a free port of 127.0.0.1, its address in REPLY.
mpris_web() {
  local i
  python3 -u -m http.server --bind 127.0.0.1 --directory "$1" 0 >"$work/web.log" 2>&1 &
  pids+=("$!")
  for ((i = 0; i < 100; ++i)); do
    grep -q ' port [0-9]*' "$work/web.log" && break
    sleep 0.05
  done
  REPLY=http://127.0.0.1:$(grep -o ' port [0-9]*' "$work/web.log" | head -1 | cut -d' ' -f3)
  [[ $REPLY != *: ]] || fail "the web server did not start: $(cat "$work/web.log")"
}
