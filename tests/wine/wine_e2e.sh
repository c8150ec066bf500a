#!/usr/bin/env bash
# End-to-end test of the Windows programs of one architecture on a real Win32 implementation:
# Lumora.exe, its display libraries, lumora-send.exe and the installer, cross-compiled with
# mingw-w64 (preset mingw-x64 or mingw-x86) and run under Wine on a virtual X display, in one
# new Wine prefix (64-bit for x64, 32-bit for x86).
#
#   wine_e2e.sh ARCH SOURCE_DIR TRACE_CHECK REPLAY        ARCH: x64 or x86
#
# SOURCE_DIR is the top of the repository, TRACE_CHECK the lumora_trace_check program and
# REPLAY the lumora-replay program of the Linux build. In order:
#  1. the build folder: Lumora.exe with the recording PanelDrv.dll; NavHome, live TV on channel
#     7, play, a suspend (the window, shown, must hide itself again) and a resume; a second
#     Lumora.exe started beside it, on the same trace, must end at once without touching the
#     panel (one agent per session); the trace must match e2e_live_tv.expect;
#     then lumora-replay.exe and lumora-send.exe in a console: it shows their UTF-8 texts as
#     such ("Crème", not "CrÃ¨me" or "Cr├¿me"), its code page left as it was; into a file the
#     trace stays UTF-8 bytes;
#  2. OpenVFD fails: the box "OpenVFD Error: 1167" is read and dismissed from a second Wine
#     process, the agent still answers events, the trace holds the failed open alone;
#  3. display libraries that cannot be used (none, the other architecture's, not a library, one
#     without VFD_Cmd, one whose start-up fails): one box names the file and the reason, and
#     after it the agent answers events without ever calling the library;
#  4. a folder outside Program Files (/D=) is refused, its reason in the installer's log, with
#     nothing installed; one under Program Files gets the login entry; the silent install (/S): files, the start-at-login entry and the entry in the installed
#     programs; the agent started from the login entry beside the recording library (on x86 the
#     one with the standard calling convention) gives the same trace as run 1; the silent
#     uninstall closes the running agent and leaves nothing of Lumora behind;
#  5. the installer run by hand warns about a missing PanelDrv.dll and one of the other
#     architecture, and ends on its finish page, which says where Lumora is and waits for
#     "Finish"; the silent uninstall then leaves the owner's PanelDrv.dll alone;
#  6. the pass-through PanelDrv.dll alone: its own box names the missing file, then the agent's
#     "OpenVFD Error: 126"; then in front of the recording
#     one playing the panel maker's (PanelDrv.vendor.dll; on x86 the standard-convention one),
#     with LUMORA_RECORD (and a WM_COPYDATA of 64 KiB): every call
#     reaches the maker's library in order, the trace matches run 1's expectation, and the
#     recording of what the agent received replays with lumora-replay to that trace;
#  7. LUMORA_RECORD naming a file in a folder that does not exist, and one whose every write
#     fails: one box names the file and the reason, once, and the agent answers events.
#
# Installs nothing: when a tool is missing it names the Debian package and exits with 77 (the
# test is then reported as skipped). LUMORA_WINE_KEEP=1 keeps the temporary folder (Wine prefix,
# traces, logs) for a look after.
set -euo pipefail

if (($# != 4)) || [[ $1 != x64 && $1 != x86 ]]; then
  echo "usage: wine_e2e.sh x64|x86 SOURCE_DIR TRACE_CHECK REPLAY" >&2
  exit 2
fi
ARCH=$1
SOURCE_DIR=$(cd "$2" && pwd)
TRACE_CHECK=$3
REPLAY=$4
HERE=$SOURCE_DIR/tests/wine
WINESERVER=/usr/lib/wine/wineserver
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
if [[ $ARCH == x64 ]]; then
  OTHER=x86 WINE=/usr/lib/wine/wine64 WINE_PACKAGE=wine64 BITS=64-bit OTHER_BITS=32-bit
  export WINEARCH=win64
else
  OTHER=x64 WINE=/usr/lib/wine/wine WINE_PACKAGE=wine32:i386 BITS=32-bit OTHER_BITS=64-bit
  export WINEARCH=win32
fi
BOX_CAPTION="Lumora: PanelDrv.dll"
SETUP_BOX_CAPTION="Lumora Setup: PanelDrv.dll"

TEST_NAME=wine_e2e-$ARCH
. "$HERE/wine_lib.sh"
BUILD=$(windows_build "$SOURCE_DIR" "$ARCH")
OTHER_BUILD=$(windows_build "$SOURCE_DIR" "$OTHER")
BIN=$BUILD/bin
SETUP=$BUILD/Lumora-$ARCH-$VERSION-setup.exe

say() { echo "wine_e2e $ARCH: [${SECONDS}s] $*"; }

fail() {
  echo "wine_e2e $ARCH: FAIL: $*" >&2
  exit 1
}

# --- Tools: installed up front (scripts/install-deps.sh), never by this test ----------------
missing=()
need() {  # PROGRAM PACKAGE
  [[ -x $1 ]] || command -v "$1" >/dev/null 2>&1 || missing+=("$2")
}
need "$WINE" "$WINE_PACKAGE"
need "$WINESERVER" wine
need Xvfb xvfb
need makensis nsis
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
need cmake cmake
need script bsdutils
if ((${#missing[@]})); then
  echo "wine_e2e $ARCH: SKIPPED: missing tools; install the Debian packages: ${missing[*]}" \
    "(scripts/install-deps.sh installs them)"
  exit 77
fi
[[ $ARCH == x86 ]] && wine_need_32bit

trap wine_cleanup EXIT
trap 'exit 130' INT TERM

# --- Cross builds ----------------------------------------------------------------------------
say "building the mingw-$ARCH preset and the mingw-$OTHER display library"
targets=(Lumora lumora-send lumora-replay paneldrv_recording paneldrv_passthrough wine_fixtures installer)
[[ $ARCH == x86 ]] && targets+=(paneldrv_recording_stdcall)
wine_build "$SOURCE_DIR" "mingw-$ARCH" "$BUILD" build.log "${targets[@]}"
wine_build "$SOURCE_DIR" "mingw-$OTHER" "$OTHER_BUILD" build.log paneldrv_recording
CONVENTION_LIBRARY=$BIN/PanelDrv.dll
[[ $ARCH == x86 ]] && CONVENTION_LIBRARY=$BIN/stdcall/PanelDrv.dll
for file in "$BIN/Lumora.exe" "$BIN/PanelDrv.dll" "$BIN/lumora-send.exe" "$SETUP" \
  "$CONVENTION_LIBRARY" "$OTHER_BUILD/bin/PanelDrv.dll"; do
  [[ -f $file ]] || fail "the build made no $file"
done

# --- Virtual display and Wine prefix ---------------------------------------------------------
say "preparing a $WINEARCH Wine prefix on a virtual display"
wine_start

# A Windows path for a file of this machine (Wine's drive Z: is the root), and back.
winpath() { echo "Z:${1//\//\\}"; }
unixpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# Every wait of the test options is shorter than this limit, so they report their own reason.
send() { timeout 90 "$WINE" "$BIN/lumora-send.exe" "$@"; }

start_agent() {  # PROGRAM LOG, then the environment for the agent as NAME=VALUE words
  local program=$1 log=$2
  shift 2
  env "$@" "$WINE" "$program" >"$log" 2>&1 &
  AGENT_PID=$!
}

wait_agent_end() {  # WHY
  local deadline=$((SECONDS + 30)) status=0
  while kill -0 "$AGENT_PID" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "Lumora.exe did not end within 30 s of $1"
    sleep 0.2
  done
  wait "$AGENT_PID" || status=$?
  AGENT_PID=
  ((status == 0)) || fail "Lumora.exe ended with status $status"
}

stop_agent() {
  send --close || fail "lumora-send.exe --close failed"
  wait_agent_end WM_CLOSE
}

# Reads the message box of CAPTION (its text, with Windows' line ends made plain) and presses OK.
dismiss_box() {  # CAPTION
  local text
  text=$(send --test-dismiss-box "$1" 60) || fail "no message box \"$1\" within 60 s"
  printf '%s' "${text//$'\r'/}"
}

# The agent must answer events: an Eject holds its sender for the agent's 1000 ms wait.
expect_answers() {
  local started held_ms
  started=$(date +%s%N)
  send 1 Eject || fail "lumora-send.exe 1 Eject failed"
  held_ms=$((($(date +%s%N) - started) / 1000000))
  ((held_ms >= 1000)) ||
    fail "Eject came back after $held_ms ms: the agent did not hold it for its 1000 ms wait"
  send --file "$(winpath "$HERE/e2e_live_tv.scn")" || fail "lumora-send.exe --file failed"
  send --power 4 || fail "lumora-send.exe --power 4 failed"
  send --power 7 || fail "lumora-send.exe --power 7 failed"
}

# The events of e2e_live_tv.expect, sent to a started agent; it is left running.
live_tv_events() {
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
}

# --- Run 1: the agent with a panel -----------------------------------------------------------
say "run 1: Lumora.exe with the recording PanelDrv.dll"
trace1=$TMP/live_tv.trace
start_agent "$BIN/Lumora.exe" "$TMP/lumora-1.log" LUMORA_PANEL_TRACE="$(winpath "$trace1")"
live_tv_events
# One agent per session: a second Lumora.exe finds the first and ends, status 0, without loading
# the library or sending a packet: an open or a packet of its own would be in the one trace.
say "run 1: a second Lumora.exe while the first runs"
status=0
env LUMORA_PANEL_TRACE="$(winpath "$trace1")" timeout 30 "$WINE" "$BIN/Lumora.exe" \
  >"$TMP/lumora-1-second.log" 2>&1 || status=$?
((status == 0)) || fail "a second Lumora.exe did not end at once with status 0 (status $status)"
stop_agent
"$TRACE_CHECK" "$HERE/e2e_live_tv.expect" "$trace1" || fail "run 1: wrong trace"
# The trace reader of the Windows PC reads that trace as the Linux one does, and replays a
# scenario to the same trace.
"$WINE" "$BIN/lumora-replay.exe" --trace "$(winpath "$trace1")" 2>&1 | tr -d '\r' >"$TMP/read.windows" ||
  fail "lumora-replay.exe --trace failed: $(cat "$TMP/read.windows")"
"$REPLAY" --trace "$trace1" >"$TMP/read.linux" || fail "lumora-replay --trace failed"
grep -q '^text3 0 "' "$TMP/read.linux" || fail "lumora-replay --trace shows no text on line 3"
cmp -s "$TMP/read.linux" "$TMP/read.windows" ||
  fail "lumora-replay.exe --trace reads the trace differently: $(diff "$TMP/read.linux" "$TMP/read.windows" | head)"
"$WINE" "$BIN/lumora-replay.exe" --decode "$(winpath "$HERE/e2e_live_tv.scn")" 2>&1 | tr -d '\r' >"$TMP/replay.windows" ||
  fail "lumora-replay.exe failed: $(cat "$TMP/replay.windows")"
"$REPLAY" --decode "$HERE/e2e_live_tv.scn" >"$TMP/replay.linux" || fail "lumora-replay failed"
cmp -s "$TMP/replay.linux" "$TMP/replay.windows" ||
  fail "lumora-replay.exe replays e2e_live_tv.scn differently: $(diff "$TMP/replay.linux" "$TMP/replay.windows" | head)"

# --- The console: the programs' UTF-8 as the console shows it ------------------------------
# A command prompt in a console of its own (Wine's, on a terminal that script makes) runs the
# trace reader on a trace with accents and the sender on a scenario with a character the panel
# cannot show; console-screen.exe then reads back what the console holds. The texts must be the
# characters themselves, and the code page the same before and after (chcp).
say "the console shows what lumora-replay.exe and lumora-send.exe write in UTF-8"
accents='Crème Brûlée – 5 €'
printf 'event 1 NavHome\nevent 7 SessionOpened\nevent 7 MusicStarted\nevent 7 MusicTitle "%s"\n' \
  "$accents" >"$TMP/accents.scn"
"$REPLAY" "$TMP/accents.scn" >"$TMP/accents.trace" || fail "lumora-replay refused accents.scn"
printf 'event 7 MusicTitle "Café ł"\n' >"$TMP/not-1252.scn"
# From the test's folder, so that the sender's line names the file short, on the console's
# first row.
printf '@cd /d "%s"\r\n@chcp\r\n@"%s" --trace accents.trace\r\n@"%s" --file not-1252.scn\r\n@chcp\r\n@"%s" screen.txt\r\n' \
  "$(winpath "$TMP")" "$(winpath "$BIN/lumora-replay.exe")" "$(winpath "$BIN/lumora-send.exe")" \
  "$(winpath "$BIN/fixtures/console-screen.exe")" >"$TMP/console.bat"
WINE=$WINE BAT=$(winpath "$TMP/console.bat") LANG=C.UTF-8 timeout 90 \
  script -qec '"$WINE" cmd /c "$BAT"' /dev/null </dev/null >"$TMP/console.log" 2>&1 ||
  fail "the command prompt in a console failed"
[[ -s $TMP/screen.txt ]] || fail "console-screen.exe read no console"
grep -qxF "text2 8 \"$accents\"" "$TMP/screen.txt" ||
  fail "the console shows lumora-replay.exe's trace otherwise:"$'\n'"$(cat "$TMP/screen.txt")"
grep -qF "lumora-send.exe: not-1252.scn: line 1: 'ł' (U+0142) is not in" "$TMP/screen.txt" ||
  fail "the console shows lumora-send.exe's message otherwise:"$'\n'"$(cat "$TMP/screen.txt")"
pages=$(grep '^Active code page: ' "$TMP/screen.txt" | uniq | wc -l)
((pages == 1)) || fail "the console's code page changed:"$'\n'"$(grep '^Active code page' "$TMP/screen.txt")"
# Into a file, the same trace is the UTF-8 bytes that the Linux reader prints.
"$WINE" "$BIN/lumora-replay.exe" --trace "$(winpath "$TMP/accents.trace")" >"$TMP/accents.windows" ||
  fail "lumora-replay.exe --trace into a file failed"
"$REPLAY" --trace "$TMP/accents.trace" >"$TMP/accents.linux" || fail "lumora-replay --trace failed"
tr -d '\r' <"$TMP/accents.windows" | cmp -s - "$TMP/accents.linux" ||
  fail "lumora-replay.exe --trace wrote into a file otherwise: $(tr -d '\r' <"$TMP/accents.windows" | diff - "$TMP/accents.linux" | head)"

# --- Run 2: the device cannot be opened ------------------------------------------------------
say "run 2: OpenVFD fails"
trace2=$TMP/no_device.trace
start_agent "$BIN/Lumora.exe" "$TMP/lumora-2.log" LUMORA_PANEL_TRACE="$(winpath "$trace2")" \
  LUMORA_PANEL_FAIL=1
box=$(dismiss_box CVFDCmd)
[[ $box == "OpenVFD Error: 1167" ]] || fail "the box says \"$box\", not \"OpenVFD Error: 1167\""
send --test-wait-window 60 || fail "after the box, no hidden window \"Lumora\" within 60 s"
expect_answers
stop_agent
"$TRACE_CHECK" "$HERE/e2e_no_device.expect" "$trace2" || fail "run 2: wrong trace"

# --- Run 3: display libraries that cannot be used -------------------------------------------
# Each case: a folder with Lumora.exe and the library (or none), and the box's text, written
# out by hand. The trace file stays empty: the agent calls nothing of a library it refused.
CARRIES_ON="Until then Lumora runs without the panel."
library_case() {  # NAME LIBRARY-OR-EMPTY EXPECTED-TEXT (with @ for the library's Windows path)
  local name=$1 library=$2 expected=$3 folder=$TMP/case-$1 box
  mkdir -p "$folder"
  cp "$BIN/Lumora.exe" "$folder/"
  [[ -n $library ]] && cp "$library" "$folder/PanelDrv.dll"
  expected=${expected//@/$(winpath "$folder/PanelDrv.dll")}
  say "run 3 ($name): the box names the library and the reason"
  start_agent "$folder/Lumora.exe" "$TMP/lumora-3-$name.log" \
    LUMORA_PANEL_TRACE="$(winpath "$folder/trace")"
  box=$(dismiss_box "$BOX_CAPTION")
  [[ $box == "$expected" ]] || fail "$name: the box says"$'\n'"$box"$'\n'"instead of"$'\n'"$expected"
  # No second box ("OpenVFD Error: 0"): the window appears right after the first.
  send --test-wait-window 60 || fail "$name: after the box, no hidden window \"Lumora\" within 60 s"
  expect_answers
  stop_agent
  [[ ! -s $folder/trace ]] || fail "$name: the agent called the library it refused: $(cat "$folder/trace")"
}
printf 'This is no library.\r\n' >"$TMP/not-a-library.dll"
library_case missing "" \
  "@ was not found."$'\n\n'"Copy the panel maker's PanelDrv.dll into the folder of Lumora.exe and start Lumora again. $CARRIES_ON"
library_case other-architecture "$OTHER_BUILD/bin/PanelDrv.dll" \
  "@ is a $OTHER_BITS library; this is the $BITS Lumora."$'\n\n'"Install the $OTHER_BITS Lumora (Lumora-$OTHER) instead. $CARRIES_ON"
library_case not-a-library "$TMP/not-a-library.dll" \
  "@ is not a Windows library."$'\n\n'"Replace it with the panel maker's PanelDrv.dll and start Lumora again. $CARRIES_ON"
library_case no-VFD_Cmd "$BIN/fixtures/no-cmd/PanelDrv.dll" \
  "@ has no function VFD_Cmd: it is not the panel's display library."$'\n\n'"Replace it with the panel maker's PanelDrv.dll and start Lumora again. $CARRIES_ON"
library_case start-up-fails "$BIN/fixtures/refuses/PanelDrv.dll" \
  "@ could not be loaded (Windows error 1114: its start-up failed)."$'\n\n'"Reinstall the panel maker's software and start Lumora again. $CARRIES_ON"

# --- Run 4: silent install, start at login, silent uninstall ---------------------------------
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora'
INSTALL_DIR_WIN='C:\Program Files\Lumora'
INSTALL_DIR=$(unixpath "$INSTALL_DIR_WIN")
[[ -n $INSTALL_DIR ]] || fail "winepath gave no folder for $INSTALL_DIR_WIN"

# reg_value KEY NAME: the data of a registry value, or status 1 when there is none.
reg_value() {
  local out
  out=$("$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  sed -n "s/^ *$2 *REG_[A-Z_]* *//p" <<<"$out" | head -n 1
}

# Nothing of Lumora is left: no value, no key, no file but the owner's PanelDrv.dll (ALLOWED).
expect_clean() {  # ALLOWED-FILE-OR-EMPTY
  local left
  reg_value "$RUN_KEY" Lumora >/dev/null && fail "the login entry Lumora is still there"
  "$WINE" reg query "$UNINSTALL_KEY" >/dev/null 2>&1 && fail "$UNINSTALL_KEY is still there"
  left=$(cd "$WINEPREFIX/drive_c" && find . -ipath '*lumora*' ! -name Lumora-setup.log |
    LC_ALL=C sort | tr '\n' ' ')
  if [[ -z $1 ]]; then
    [[ -z $left ]] || fail "the uninstaller left behind: $left"
  else
    [[ $left == "./Program Files/Lumora ./Program Files/Lumora/PanelDrv.dll " ]] ||
      fail "the uninstaller left behind more than the owner's PanelDrv.dll: $left"
  fi
}

# The uninstaller runs from a copy of itself and returns at once: wait until it has finished.
uninstall() {  # [FOLDER], by default the usual one
  local folder=${1:-$INSTALL_DIR}
  timeout 60 "$WINE" "$folder/Uninstall.exe" /S || fail "Uninstall.exe /S failed"
  local deadline=$((SECONDS + 60))
  while [[ -e $folder/Uninstall.exe ]] || "$WINE" reg query "$UNINSTALL_KEY" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "the silent uninstall did not finish within 60 s"
    sleep 0.5
  done
}

# The installer's log of its last run (every note of its details, also when silent).
SETUP_LOG=$(unixpath "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')\\Lumora-setup.log")
[[ -n $SETUP_LOG ]] || fail "winepath gave no file for the installer's log"

# Only a folder under Program Files gets the login entry that starts Lumora.exe for every user:
# anywhere else an ordinary user could put a Lumora.exe or PanelDrv.dll of their own in its
# place. A folder outside is refused with the reason (status 2) and nothing is installed.
for folder in 'C:\Lumora' 'C:\Program Files\..\Lumora' 'C:\Program Files Extra\Lumora'; do
  say "run 4: the silent install into $folder is refused"
  status=0
  # Through cmd, which passes /D= unquoted as the installer needs it, blanks and all.
  timeout 120 "$WINE" cmd /c "$(winpath "$SETUP") /S /D=$folder" || status=$?
  ((status == 2)) || fail "$(basename "$SETUP") /S /D=$folder ended with status $status, not 2"
  expected="Lumora cannot be installed in $folder: Lumora starts from its folder at every user's login, so the folder must be one that only administrators can change, a folder under C:\Program Files. Run the installer without /D= (it installs into C:\Program Files\Lumora), or give a folder under Program Files."
  [[ $(tr -d '\r' <"$SETUP_LOG") == "$expected" ]] ||
    fail "the installer's log says"$'\n'"$(cat "$SETUP_LOG")"$'\n'"instead of"$'\n'"$expected"
  reg_value "$RUN_KEY" Lumora >/dev/null && fail "a refused install wrote the login entry"
  left=$(cd "$WINEPREFIX/drive_c" && find . -ipath '*lumora*' ! -name Lumora-setup.log)
  [[ -z $left ]] || fail "a refused install left: $left"
done
say "run 4: the silent install into a folder under Program Files of the owner's choice"
timeout 120 "$WINE" cmd /c "$(winpath "$SETUP") /S /D=C:\Program Files\Media Center\Lumora" ||
  fail "$(basename "$SETUP") /S /D=C:\Program Files\Media Center\Lumora failed"
[[ $(reg_value "$RUN_KEY" Lumora) == '"C:\Program Files\Media Center\Lumora\Lumora.exe"' ]] ||
  fail "the login entry does not name C:\Program Files\Media Center\Lumora\Lumora.exe"
uninstall "$(unixpath 'C:\Program Files\Media Center\Lumora')"
rmdir "$(unixpath 'C:\Program Files\Media Center')"
expect_clean ""

say "run 4: silent install"
timeout 120 "$WINE" "$SETUP" /S || fail "$(basename "$SETUP") /S failed"
for file in Lumora.exe lumora-send.exe "Lumora guide.txt" Uninstall.exe; do
  [[ -f $INSTALL_DIR/$file ]] || fail "the installer put no $file into $INSTALL_DIR_WIN"
done
cmp -s "$INSTALL_DIR/Lumora.exe" "$BIN/Lumora.exe" || fail "the installed Lumora.exe is not the built one"
[[ ! -e $INSTALL_DIR/PanelDrv.dll ]] || fail "the installer brought a PanelDrv.dll of its own"
login=$(reg_value "$RUN_KEY" Lumora) || fail "no login entry Lumora under $RUN_KEY"
[[ $login == "\"$INSTALL_DIR_WIN\\Lumora.exe\"" ]] ||
  fail "the login entry is $login, not the installed Lumora.exe"
[[ $(reg_value "$UNINSTALL_KEY" DisplayName) == "Lumora ($BITS)" ]] ||
  fail "no DisplayName \"Lumora ($BITS)\" under $UNINSTALL_KEY"
[[ $(reg_value "$UNINSTALL_KEY" DisplayVersion) == "$VERSION" ]] ||
  fail "no DisplayVersion $VERSION under $UNINSTALL_KEY"
[[ $(reg_value "$UNINSTALL_KEY" UninstallString) == "\"$INSTALL_DIR_WIN\\Uninstall.exe\"" ]] ||
  fail "the UninstallString does not name $INSTALL_DIR_WIN\\Uninstall.exe"

# The owner puts the panel's library beside Lumora.exe; on x86 the stand-in with the standard
# calling convention, which must give the same trace as the C-convention one of run 1.
cp "$CONVENTION_LIBRARY" "$INSTALL_DIR/PanelDrv.dll"
say "run 4: Lumora.exe started as at login ($login), with $(basename "$(dirname "$CONVENTION_LIBRARY")")/PanelDrv.dll"
trace4=$TMP/installed.trace
login_program=${login#\"}
start_agent "${login_program%\"}" "$TMP/lumora-4.log" LUMORA_PANEL_TRACE="$(winpath "$trace4")"
live_tv_events
say "run 4: silent uninstall, with the agent running"
uninstall
wait_agent_end "the uninstall"
"$TRACE_CHECK" "$HERE/e2e_live_tv.expect" "$trace4" || fail "run 4: wrong trace"
expect_clean PanelDrv.dll
rm "$INSTALL_DIR/PanelDrv.dll"
rmdir "$INSTALL_DIR"

# --- Run 5: the installer's warnings about PanelDrv.dll, its finish page ---------------------
# The installer run by hand stays open on its finish page until "Finish" is pressed: its title,
# the text that says where Lumora is, the guide offered unticked. Written out from the page's
# settings in lumora.nsi (the title is the wizard's own words around the installer's name); the
# line breaks of the text read as blanks.
finish_page() {
  local page line
  page=$(timeout 90 "$WINE" "$BIN/fixtures/finish-page.exe" "Lumora $VERSION ($BITS) Setup" 60 |
    tr -d '\r') || fail "the installer showed no finish page within 60 s"
  for line in "Completing Lumora $VERSION ($BITS) Setup" \
    "Lumora is installed in $INSTALL_DIR_WIN and starts at every login.    With the panel maker's PanelDrv.dll in that folder, log out and in again, or start Lumora from the Start menu (folder Lumora, which also holds the guide)." \
    "Show the guide" "&Finish"; do
    grep -qxF "$line" <<<"$page" ||
      fail "the finish page lacks the line"$'\n'"$line"$'\n'"it shows"$'\n'"$page"
  done
}
say "run 5: the installer, run by hand, with no PanelDrv.dll"
timeout 120 "$WINE" "$SETUP" &
setup_pid=$!
box=$(dismiss_box "$SETUP_BOX_CAPTION")
finish_page
wait "$setup_pid" || fail "the installer failed"
expected="There is no PanelDrv.dll in $INSTALL_DIR_WIN."$'\n\n'"Copy the panel maker's PanelDrv.dll into this folder: Lumora drives the panel through it. $CARRIES_ON"
[[ $box == "$expected" ]] || fail "the installer says"$'\n'"$box"$'\n'"instead of"$'\n'"$expected"
# Its details and its log have the warning on one line, without the box's line breaks.
expected="There is no PanelDrv.dll in $INSTALL_DIR_WIN. Copy the panel maker's PanelDrv.dll into this folder: Lumora drives the panel through it. $CARRIES_ON"
[[ $(tr -d '\r' <"$SETUP_LOG") == "$expected" ]] ||
  fail "the installer's log says"$'\n'"$(cat "$SETUP_LOG")"$'\n'"instead of"$'\n'"$expected"

say "run 5: the installer, run by hand again, with a $OTHER_BITS PanelDrv.dll"
cp "$OTHER_BUILD/bin/PanelDrv.dll" "$INSTALL_DIR/PanelDrv.dll"
timeout 120 "$WINE" "$SETUP" &
setup_pid=$!
box=$(dismiss_box "$SETUP_BOX_CAPTION")
finish_page
wait "$setup_pid" || fail "the installer failed"
expected="$INSTALL_DIR_WIN\\PanelDrv.dll is a $OTHER_BITS library; this is the $BITS Lumora."$'\n\n'"Install the $OTHER_BITS Lumora (Lumora-$OTHER) instead."
[[ $box == "$expected" ]] || fail "the installer says"$'\n'"$box"$'\n'"instead of"$'\n'"$expected"
uninstall
expect_clean PanelDrv.dll

# --- Run 6: the pass-through library, and what the agent received recorded -------------------
folder=$TMP/passthrough
mkdir -p "$folder"
cp "$BIN/Lumora.exe" "$folder/"
cp "$BIN/passthrough/PanelDrv.dll" "$folder/PanelDrv.dll"
say "run 6: the pass-through PanelDrv.dll without the maker's library"
trace6_alone=$TMP/passthrough-alone.trace
start_agent "$folder/Lumora.exe" "$TMP/lumora-6-alone.log" \
  LUMORA_PANEL_TRACE="$(winpath "$trace6_alone")"
# The pass-through's own box names the file it could not load, before the agent's box, which can
# give the number only.
box=$(dismiss_box "Lumora: pass-through PanelDrv.dll")
expected="$(winpath "$folder/PanelDrv.vendor.dll") was not found."$'\n\n'"The pass-through PanelDrv.dll hands every call on to the panel maker's library, renamed PanelDrv.vendor.dll and put beside it. $CARRIES_ON"
[[ $box == "$expected" ]] ||
  fail "run 6: the pass-through's box says"$'\n'"$box"$'\n'"instead of"$'\n'"$expected"
box=$(dismiss_box CVFDCmd)
[[ $box == "OpenVFD Error: 126" ]] || fail "the box says \"$box\", not \"OpenVFD Error: 126\""
send --test-wait-window 60 || fail "after the box, no hidden window \"Lumora\" within 60 s"
stop_agent
# The trace names the file that could not be loaded too.
expected="open 11853 16 16"$'\n'"# $(winpath "$folder/PanelDrv.vendor.dll") was not found."
[[ $(tr -d '\r' <"$trace6_alone") == "$expected" ]] ||
  fail "run 6: the trace of the failed open is"$'\n'"$(cat "$trace6_alone")"$'\n'"not"$'\n'"$expected"
say "run 6: the pass-through PanelDrv.dll before the maker's, with LUMORA_RECORD"
cp "$CONVENTION_LIBRARY" "$folder/PanelDrv.vendor.dll"
trace6=$TMP/passthrough.trace
recording=$TMP/recorded.scn
start_agent "$folder/Lumora.exe" "$TMP/lumora-6.log" LUMORA_PANEL_TRACE="$(winpath "$trace6")" \
  LUMORA_RECORD="$(winpath "$recording")"
live_tv_events
# A WM_COPYDATA of 64 KiB, far more than a line of a scenario can carry: the Media State Event
# of a session that has nothing open (a title for session 9: nothing changes on the panel) in
# front of 65496 bytes more. Recorded as its first 1024 bytes and its size, within the bound.
timeout 90 "$WINE" "$BIN/fixtures/big-copydata.exe" 1 65536 9 72 ||
  fail "run 6: big-copydata.exe could not send"
stop_agent
# Both libraries append to the one file: each call's line from the pass-through, then the same
# line from the maker's library that it forwarded the call to.
awk 'NR % 2 == 1 { line = $0 } NR % 2 == 0 { if ($0 != line) exit 1; print line }
     END { if (NR % 2 == 1) exit 1 }' "$trace6" >"$TMP/passthrough-once.trace" ||
  fail "run 6: the maker's library did not get every call the pass-through traced, in order"
"$TRACE_CHECK" "$HERE/e2e_live_tv.expect" "$TMP/passthrough-once.trace" ||
  fail "run 6: wrong trace through the pass-through library"
[[ -s $recording ]] || fail "run 6: LUMORA_RECORD recorded nothing"
big="copydata 1 09000000480000$(printf '0%.0s' {1..66})$(printf '5a%.0s' {1..984}) of 65536"
grep -qxF "$big" "$recording" || fail "run 6: the 64 KiB WM_COPYDATA is not recorded as $big"
"$REPLAY" "$recording" >"$TMP/replayed.trace" || fail "run 6: lumora-replay refused the recording"
"$TRACE_CHECK" --same "$TMP/passthrough-once.trace" "$TMP/replayed.trace" ||
  fail "run 6: the recording does not replay to the live trace"

# --- Run 7: a recording that cannot be opened or written --------------------------------------
# One box names the file and Windows' reason, once; the agent answers events all the same.
# Wine's Z:\dev\full opens like a file and refuses every write with "disk full".
RECORD_CAPTION="Lumora: LUMORA_RECORD"
RECORD_CARRIES_ON="Set LUMORA_RECORD to a file that can be written and start Lumora again. Until then Lumora runs without recording."
record_case() {  # NAME LUMORA_RECORD EXPECTED-TEXT
  local box
  say "run 7 ($1): LUMORA_RECORD=$2"
  start_agent "$BIN/Lumora.exe" "$TMP/lumora-7-$1.log" LUMORA_RECORD="$2"
  box=$(dismiss_box "$RECORD_CAPTION")
  [[ $box == "$3" ]] || fail "$1: the box says"$'\n'"$box"$'\n'"instead of"$'\n'"$3"
  send --test-wait-window 60 || fail "$1: after the box, no hidden window \"Lumora\" within 60 s"
  expect_answers
  # Every message after the failure would fail again: the box must not come back.
  if box=$(send --test-dismiss-box "$RECORD_CAPTION" 3 2>/dev/null); then
    fail "$1: a second box: $box"
  fi
  stop_agent
}
record_case missing-folder 'C:\no such folder\evening.scn' \
  "C:\\no such folder\\evening.scn could not be opened for recording (Windows error 3: its folder does not exist)."$'\n\n'"$RECORD_CARRIES_ON"
record_case disk-full 'Z:\dev\full' \
  "Z:\\dev\\full could not be written: the recording stops here (Windows error 112: the disk is full)."$'\n\n'"$RECORD_CARRIES_ON"

say "passed"
