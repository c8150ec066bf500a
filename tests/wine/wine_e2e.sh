#!/usr/bin/env bash
# End-to-end test of the Windows programs on a real Win32 implementation: Lumora.exe with the
# recording PanelDrv.dll, driven by lumora-send.exe, all cross-compiled with mingw-w64 (the
# mingw preset) and run under Wine on a virtual X display.
#
#   wine_e2e.sh SOURCE_DIR TRACE_CHECK
#
# SOURCE_DIR is the top of the repository, TRACE_CHECK the lumora_wine_trace_check program of
# the Linux build. Run 1 sends a navigation event, live TV on channel 7, play, a suspend and a
# resume, shows the window while suspended (its paint must hide it again), closes the window
# and checks the recorded trace against e2e_live_tv.expect. Run 2
# makes OpenVFD fail: the "OpenVFD Error: 1167" box is read and dismissed from a second Wine
# process, the agent still answers events (an Eject holds its sender for the 1000 ms wait), and
# nothing but the failed open is recorded.
#
# Environment: LUMORA_MINGW_BUILD_DIR (default SOURCE_DIR/build/mingw) for the cross build;
# LUMORA_WINE_KEEP=1 keeps the temporary folder (Wine prefix, traces, logs) for a look after.
# Installs the packages it needs with apt-get when they are missing and it runs as root.
set -euo pipefail

if (($# != 2)); then
  echo "usage: wine_e2e.sh SOURCE_DIR TRACE_CHECK" >&2
  exit 2
fi
SOURCE_DIR=$(cd "$1" && pwd)
TRACE_CHECK=$2
HERE=$SOURCE_DIR/tests/wine
MINGW_BUILD=${LUMORA_MINGW_BUILD_DIR:-$SOURCE_DIR/build/mingw}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 xvfb)

TMP=
XVFB_PID=
AGENT_PID=

say() { echo "wine_e2e: [${SECONDS}s] $*"; }

fail() {
  echo "wine_e2e: FAIL: $*" >&2
  exit 1
}

# Stops everything this script started, by its process id, and Wine by its prefix.
cleanup() {
  local status=$?
  if [[ -n $AGENT_PID ]] && kill -0 "$AGENT_PID" 2>/dev/null; then
    kill "$AGENT_PID" 2>/dev/null || true
  fi
  if [[ -n $TMP && -d $TMP/prefix ]]; then
    WINEPREFIX=$TMP/prefix timeout 30 "$WINESERVER" -k 2>/dev/null || true
  fi
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  if [[ -n $TMP ]]; then
    if ((status != 0)) && [[ -n $(ls "$TMP"/*.log 2>/dev/null) ]]; then
      for log in "$TMP"/*.log; do
        echo "--- $(basename "$log") (last lines)" >&2
        tail -n 20 "$log" >&2
      done
    fi
    if [[ ${LUMORA_WINE_KEEP:-} == 1 ]]; then
      echo "wine_e2e: kept $TMP" >&2
    else
      rm -rf "$TMP"
    fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- Packages -------------------------------------------------------------------------------
missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  if (($(id -u) != 0)); then
    fail "missing packages: ${missing[*]}; install them as root with" \
      "apt-get install --no-install-recommends ${missing[*]}"
  fi
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  timeout 600 apt-get update -q >/dev/null || fail "apt-get update failed"
  timeout 600 apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null ||
    fail "apt-get install ${missing[*]} failed"
fi
[[ -x $WINE ]] || fail "$WINE is missing (package wine64)"

# --- Cross build (one build at a time in the build folder) -----------------------------------
mkdir -p "$MINGW_BUILD"
exec {lock}>"$MINGW_BUILD/wine_e2e.lock"
flock -w 600 "$lock" || fail "another build of $MINGW_BUILD did not finish within 600 s"
say "building Lumora.exe, PanelDrv.dll and lumora-send.exe in $MINGW_BUILD"
if [[ ! -f $MINGW_BUILD/CMakeCache.txt ]]; then
  (cd "$SOURCE_DIR" &&
    timeout 300 cmake --preset mingw -B "$MINGW_BUILD" >"$MINGW_BUILD/configure.log" 2>&1) ||
    fail "configuring the mingw preset failed (see $MINGW_BUILD/configure.log)"
fi
timeout 600 cmake --build "$MINGW_BUILD" --parallel 2 \
  --target Lumora lumora-send paneldrv_recording >"$MINGW_BUILD/build.log" 2>&1 ||
  fail "building the mingw preset failed (see $MINGW_BUILD/build.log)"
flock -u "$lock"
exec {lock}>&-
BIN=$MINGW_BUILD/bin
for program in Lumora.exe PanelDrv.dll lumora-send.exe; do
  [[ -f $BIN/$program ]] || fail "the build made no $BIN/$program"
done

# --- Virtual display and Wine prefix ---------------------------------------------------------
TMP=$(mktemp -d /tmp/lumora-wine.XXXXXX)
mkdir -p "$TMP/home"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
XVFB_PID=$!
for ((i = 0; i < 100; ++i)); do
  [[ -s $TMP/display ]] && break
  kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start"
  sleep 0.1
done
[[ -s $TMP/display ]] || fail "Xvfb gave no display number within 10 s"
# The display must be set before the first Wine command of the new prefix.
DISPLAY=:$(head -n 1 "$TMP/display")
export DISPLAY
export WINEPREFIX=$TMP/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$TMP/home
say "preparing a Wine prefix on display $DISPLAY"
timeout 120 "$WINE" wineboot -i >"$TMP/wineboot.log" 2>&1 ||
  fail "wineboot did not prepare the prefix within 120 s"

# A Windows path for a file of this machine (Wine's drive Z: is the root).
winpath() { echo "Z:$1"; }

# Every wait of the test options is shorter than this limit, so they report their own reason.
send() { timeout 90 "$WINE" "$BIN/lumora-send.exe" "$@"; }

start_agent() {  # LOG, then the environment for the agent as NAME=VALUE words
  local log=$1
  shift
  env "$@" "$WINE" "$BIN/Lumora.exe" >"$log" 2>&1 &
  AGENT_PID=$!
}

stop_agent() {
  send --close || fail "lumora-send.exe --close failed"
  local deadline=$((SECONDS + 30)) status=0
  while kill -0 "$AGENT_PID" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "Lumora.exe did not end within 30 s of WM_CLOSE"
    sleep 0.2
  done
  wait "$AGENT_PID" || status=$?
  AGENT_PID=
  ((status == 0)) || fail "Lumora.exe ended with status $status"
}

# --- Run 1: the agent with a panel -----------------------------------------------------------
say "run 1: Lumora.exe with the recording PanelDrv.dll"
trace1=$TMP/live_tv.trace
start_agent "$TMP/lumora-1.log" LUMORA_PANEL_TRACE="$(winpath "$trace1")"
send --test-wait-window 60 || fail "Lumora.exe showed no hidden window \"Lumora\" within 60 s"
sleep 2.5  # the date and time shown by the timer before the shell starts
send 1 NavHome || fail "lumora-send.exe 1 NavHome failed"
send --file "$(winpath "$HERE/e2e_live_tv.scn")" || fail "lumora-send.exe --file failed"
send --power 4 || fail "lumora-send.exe --power 4 failed"
# Suspended, the timer neither writes nor hides the window: only its own paint hides it.
send --test-show-window 10 || fail "the window, once shown, was not hidden again by its paint"
sleep 2.5  # suspended: the timer runs but sends nothing
send --power 7 || fail "lumora-send.exe --power 7 failed"
sleep 2.5  # resumed: the timer shows the time again
stop_agent
"$TRACE_CHECK" "$HERE/e2e_live_tv.expect" "$trace1" || fail "run 1: wrong trace"

# --- Run 2: the device cannot be opened ------------------------------------------------------
say "run 2: OpenVFD fails"
trace2=$TMP/no_device.trace
start_agent "$TMP/lumora-2.log" LUMORA_PANEL_TRACE="$(winpath "$trace2")" LUMORA_PANEL_FAIL=1
box=$(send --test-dismiss-box CVFDCmd 60) || fail "no message box \"CVFDCmd\" within 60 s"
box=${box%$'\r'}
[[ $box == "OpenVFD Error: 1167" ]] || fail "the box says \"$box\", not \"OpenVFD Error: 1167\""
send --test-wait-window 60 || fail "after the box, no hidden window \"Lumora\" within 60 s"
started=$(date +%s%N)
send 1 Eject || fail "lumora-send.exe 1 Eject failed"
held_ms=$((($(date +%s%N) - started) / 1000000))
((held_ms >= 1000)) ||
  fail "Eject came back after $held_ms ms: the agent did not hold it for its 1000 ms wait"
send --file "$(winpath "$HERE/e2e_live_tv.scn")" || fail "lumora-send.exe --file failed"
send --power 4 || fail "lumora-send.exe --power 4 failed"
send --power 7 || fail "lumora-send.exe --power 7 failed"
stop_agent
"$TRACE_CHECK" "$HERE/e2e_no_device.expect" "$trace2" || fail "run 2: wrong trace"

say "passed"
