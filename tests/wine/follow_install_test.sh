#!/usr/bin/env bash
# The installer's follow option under Wine, for one architecture: Kodi's host and port refused
# when a command line could not carry them; a silent install with /KODIPORT= over a Lumora of an
# earlier version with its Kodi bridge (the old login entry and lumora-kodi.exe are removed);
# the login entry starts lumora-follow.exe with the port; an update while the follower runs
# ends it (WM_CLOSE to its window: it closes what it opened and ends with 0) and replaces its
# program, keeping the port; an update with /NOFOLLOW removes it; an uninstall while it runs
# ends it and removes it; run by hand with /KODIPORT=, the installer shows its follower page with
# the port, and the port typed there goes on the login entry.
#
#   follow_install_test.sh x64|x86 SOURCE_DIR
#
# Skipped (77) when Wine, Xvfb, makensis or a mingw-w64 compiler is missing, or when this
# machine runs no 32-bit programs (x86).
set -u
if (($# != 2)) || [[ $1 != x64 && $1 != x86 ]]; then
  echo "usage: follow_install_test.sh x64|x86 SOURCE_DIR" >&2
  exit 2
fi
ARCH=$1
SOURCE_DIR=$(cd "$2" && pwd)
WINESERVER=/usr/lib/wine/wineserver
if [[ $ARCH == x64 ]]; then
  WINE=/usr/lib/wine/wine64
  export WINEARCH=win64
else
  WINE=/usr/lib/wine/wine
  export WINEARCH=win32
fi
TEST_NAME=follow_install-$ARCH
. "$SOURCE_DIR/tests/wine/wine_lib.sh"
wine_need_installers
wine_need_arch "$ARCH"
BUILD=$(windows_build "$SOURCE_DIR" "$ARCH")
BIN=$BUILD/bin
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
SETUP=$BUILD/Lumora-$ARCH-$VERSION-setup.exe

FOLLOWER_PID=
finish() {
  local status=$?
  [[ -n $FOLLOWER_PID ]] && kill "$FOLLOWER_PID" 2>/dev/null
  (exit $status)
  wine_cleanup
}
trap finish EXIT
trap 'exit 130' INT TERM

say "building the programs and the installer"
wine_build "$SOURCE_DIR" "mingw-$ARCH" "$BUILD" follow-install-build.log installer \
  lumora-send wine_setup_page wine_finish_page
[[ -f $SETUP ]] || fail "no installer $SETUP"
say "preparing a $WINEARCH Wine prefix on a virtual display"
wine_start

winpath() { echo "Z:${1//\//\\}"; }
unixpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
reg_value() {  # KEY NAME: the data of a registry value, or status 1 when there is none
  local out
  out=$("$WINE" reg query "$1" /v "$2" 2>/dev/null) || return 1
  out=$(tr -d '\r' <<<"$out" | grep "^ *$2 *REG_") || return 1
  sed -n "s/^ *$2 *REG_[A-Z_]* *//p" <<<"$out" | head -n 1
}
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora'
INSTALL_DIR_WIN='C:\Program Files\Lumora'
INSTALL_DIR=$(unixpath "$INSTALL_DIR_WIN")
SETUP_LOG=$(unixpath "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')\\Lumora-setup.log")
LOG=$(unixpath "$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')\\Lumora\\lumora-follow.log")
[[ -n $INSTALL_DIR && -n $SETUP_LOG && -n $LOG ]] || fail "winepath named no folder"

# Kodi's host and port go on the login entry's command line: what it could not carry is refused
# (status 2, the reason in the log) before anything is installed.
for option in /KODIPORT=0 /KODIPORT=65536 /KODIPORT=90x /KODIHOST=; do
  say "the silent install with $option is refused"
  status=0
  timeout 120 "$WINE" "$SETUP" /S "$option" || status=$?
  ((status == 2)) || fail "$option: the installer ended with $status, not 2"
  grep -q "^Kodi's .* Give /KODIHOST= a host name or address and /KODIPORT= Kodi's JSON-RPC port" \
    "$SETUP_LOG" || fail "$option: the installer's log says: $(cat "$SETUP_LOG")"
  [[ -e $INSTALL_DIR ]] && fail "$option: a refused install left $INSTALL_DIR"
done

# What an earlier version left: its Kodi bridge and that bridge's login entry.
mkdir -p "$INSTALL_DIR"
cp "$BIN/lumora-send.exe" "$INSTALL_DIR/lumora-kodi.exe"
"$WINE" reg add "$RUN_KEY" /v "Lumora Kodi" /d "\"$INSTALL_DIR_WIN\\lumora-kodi.exe\"" /f \
  >/dev/null 2>&1 || fail "reg add failed"

say "the silent install with /KODIPORT=9123"
timeout 120 "$WINE" "$SETUP" /S /KODIPORT=9123 || fail "the install with /KODIPORT=9123 failed"
ENTRY="\"$INSTALL_DIR_WIN\\lumora-follow.exe\" --host 127.0.0.1 --port 9123"
[[ $(reg_value "$RUN_KEY" "Lumora Follow") == "$ENTRY" ]] ||
  fail "the login entry is '$(reg_value "$RUN_KEY" "Lumora Follow")', not '$ENTRY'"
cmp -s "$INSTALL_DIR/lumora-follow.exe" "$BIN/lumora-follow.exe" ||
  fail "the installed lumora-follow.exe is not the built one"
reg_value "$RUN_KEY" "Lumora Kodi" >/dev/null && fail "the old login entry Lumora Kodi is still there"
[[ -e $INSTALL_DIR/lumora-kodi.exe ]] && fail "the old lumora-kodi.exe is still there"
grep -qF "lumora-follow.exe starts at every login and follows Kodi on 127.0.0.1:9123." "$SETUP_LOG" ||
  fail "the installer's log does not say what the follower follows: $(cat "$SETUP_LOG")"

# start_follower: the login entry's program with its options, as Windows starts it at login;
# returns once its window is there (it says "starts" after making it).
starts() { tr -d '\r' 2>/dev/null <"$LOG" | grep -c ' starts$'; }
start_follower() {
  local before
  before=$(starts)
  "$WINE" "$INSTALL_DIR/lumora-follow.exe" --host 127.0.0.1 --port 9123 >/dev/null 2>&1 &
  FOLLOWER_PID=$!
  for ((i = 0; i < 300; ++i)); do
    (($(starts) > before)) && return 0
    sleep 0.1
  done
  fail "lumora-follow.exe did not start within 30 s"
}
# follower_ended WHAT: the follower ended within 30 s of WHAT, by itself and with status 0.
follower_ended() {
  local status=0 deadline=$((SECONDS + 30))
  while kill -0 "$FOLLOWER_PID" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "lumora-follow.exe still runs 30 s after $1"
    sleep 0.2
  done
  wait "$FOLLOWER_PID" || status=$?
  FOLLOWER_PID=
  ((status == 0)) || fail "lumora-follow.exe ended with status $status after $1"
  [[ $(tail -n 1 "$LOG" | tr -d '\r') == *" stopped; the sessions it opened are closed" ]] ||
    fail "the follower's log does not end with its stop: $(tail -n 3 "$LOG")"
}

say "an update while lumora-follow.exe runs"
# The installed program made different from the built one, as an older version is.
printf 'an older version' >>"$INSTALL_DIR/lumora-follow.exe"
start_follower
timeout 120 "$WINE" "$SETUP" /S || fail "the update failed"
follower_ended "the update"
grep -qF "Ending the running lumora-follow.exe" "$SETUP_LOG" ||
  fail "the installer's log does not say it ended the follower: $(cat "$SETUP_LOG")"
cmp -s "$INSTALL_DIR/lumora-follow.exe" "$BIN/lumora-follow.exe" ||
  fail "the update did not replace lumora-follow.exe"
[[ $(reg_value "$RUN_KEY" "Lumora Follow") == "$ENTRY" ]] ||
  fail "after the update the login entry is '$(reg_value "$RUN_KEY" "Lumora Follow")', not '$ENTRY'"

say "an update with /NOFOLLOW while lumora-follow.exe runs"
start_follower
timeout 120 "$WINE" "$SETUP" /S /NOFOLLOW || fail "the update with /NOFOLLOW failed"
follower_ended "the update with /NOFOLLOW"
[[ -e $INSTALL_DIR/lumora-follow.exe ]] && fail "/NOFOLLOW left lumora-follow.exe"
reg_value "$RUN_KEY" "Lumora Follow" >/dev/null && fail "/NOFOLLOW left the login entry"

say "/FOLLOW again (the port kept), then the uninstall while lumora-follow.exe runs"
timeout 120 "$WINE" "$SETUP" /S /FOLLOW || fail "the install with /FOLLOW failed"
[[ $(reg_value "$RUN_KEY" "Lumora Follow") == "$ENTRY" ]] ||
  fail "after /FOLLOW the login entry is '$(reg_value "$RUN_KEY" "Lumora Follow")', not '$ENTRY'"
start_follower
timeout 60 "$WINE" "$INSTALL_DIR/Uninstall.exe" /S || fail "Uninstall.exe /S failed"
# The uninstaller runs from a copy of itself and returns at once.
deadline=$((SECONDS + 60))
while [[ -e $INSTALL_DIR/Uninstall.exe ]]; do
  ((SECONDS < deadline)) || fail "the silent uninstall did not finish within 60 s"
  sleep 0.5
done
follower_ended "the uninstall"
reg_value "$RUN_KEY" "Lumora Follow" >/dev/null && fail "the uninstall left the login entry"
"$WINE" reg query "$UNINSTALL_KEY" >/dev/null 2>&1 && fail "the uninstall left $UNINSTALL_KEY"
left=$(cd "$WINEPREFIX/drive_c" && find . -ipath '*program files*lumora*')
[[ -z $left ]] || fail "the uninstall left: $left"

# The graphical mode: the page shows the follower chosen and the given port; the owner types
# another; the installer then warns of the missing PanelDrv.dll (a box), installs and ends on its
# finish page.
say "the installer run by hand with /KODIPORT=9124; 9125 typed on its page"
timeout 120 "$WINE" "$SETUP" /KODIPORT=9124 &
setup_pid=$!
page=$(timeout 90 "$WINE" "$BIN/fixtures/setup-page.exe" 60 9125 | tr -d '\r') ||
  fail "the installer showed no follower page"
[[ $page == "follow=1 host=127.0.0.1 port=9124" ]] || fail "the follower page shows: $page"
timeout 90 "$WINE" "$BIN/lumora-send.exe" --test-dismiss-box "Lumora Setup: PanelDrv.dll" 60 \
  >/dev/null || fail "no box about the missing PanelDrv.dll after the page"
# It ends on its finish page, closed as the owner does (the page itself is wine_e2e's to check).
[[ $ARCH == x64 ]] && bits=64-bit || bits=32-bit
timeout 90 "$WINE" "$BIN/fixtures/finish-page.exe" "Lumora $VERSION ($bits) Setup" 60 >/dev/null ||
  fail "the installer run by hand showed no finish page"
wait "$setup_pid" || fail "the installer run by hand failed"
ENTRY="\"$INSTALL_DIR_WIN\\lumora-follow.exe\" --host 127.0.0.1 --port 9125"
[[ $(reg_value "$RUN_KEY" "Lumora Follow") == "$ENTRY" ]] ||
  fail "after the page the login entry is '$(reg_value "$RUN_KEY" "Lumora Follow")', not '$ENTRY'"
timeout 60 "$WINE" "$INSTALL_DIR/Uninstall.exe" /S || fail "Uninstall.exe /S failed"
say "PASS"
