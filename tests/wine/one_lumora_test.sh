#!/usr/bin/env bash
# One Lumora per PC, under Wine in a 64-bit prefix where both builds can be installed: the
# 32-bit build (Program Files (x86), the registry's 32-bit view) and the 64-bit one.
#
#   one_lumora_test.sh SOURCE_DIR
#
#  1. the 32-bit installer, silently; the owner's PanelDrv.dll beside its Lumora.exe;
#  2. the 64-bit installer, silently: it replaces the 32-bit Lumora (its own uninstaller runs)
#     and says so in its log; only the owner's PanelDrv.dll is left of the 32-bit one, and the
#     64-bit one has its login entry and its Start menu entries;
#  3. the 32-bit installer again replaces the 64-bit one the same way;
#  4. its uninstaller leaves nothing of Lumora but the owner's files.
# Exit status 77 (skipped) when a tool is missing or this machine runs no 32-bit programs.
set -euo pipefail
if (($# != 1)); then
  echo "usage: one_lumora_test.sh SOURCE_DIR" >&2
  exit 2
fi
SOURCE_DIR=$(cd "$1" && pwd)
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEARCH=win64
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumora'
DIR64_WIN='C:\Program Files\Lumora'
DIR32_WIN='C:\Program Files (x86)\Lumora'

TEST_NAME=one_lumora
. "$SOURCE_DIR/tests/wine/wine_lib.sh"
wine_need_installers
wine_need_32bit

trap wine_cleanup EXIT
trap 'exit 130' INT TERM

say "building both installers"
for arch in x64 x86; do
  wine_build "$SOURCE_DIR" "mingw-$arch" "$(windows_build "$SOURCE_DIR" "$arch")" build-one-lumora.log \
    installer paneldrv_recording
done
SETUP64=$(windows_build "$SOURCE_DIR" x64)/Lumora-x64-$VERSION-setup.exe
SETUP32=$(windows_build "$SOURCE_DIR" x86)/Lumora-x86-$VERSION-setup.exe
say "preparing a win64 Wine prefix on a virtual display"
wine_start

unixpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
DIR64=$(unixpath "$DIR64_WIN")
DIR32=$(unixpath "$DIR32_WIN")
SETUP_LOG=$(unixpath "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')\\Lumora-setup.log")
MENU=$(unixpath 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Lumora')
reg_value() {  # KEY NAME VIEW
  "$WINE" reg query "$1" /v "$2" "/reg:$3" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
}
installed() {  # DIR_WIN VIEW BITS: the files, the login entry and the list entry of that build
  local dir
  dir=$(unixpath "$1")
  for file in Lumora.exe lumora-send.exe Uninstall.exe; do
    [[ -f $dir/$file ]] || fail "no $file in $1"
  done
  [[ $(reg_value "$RUN_KEY" Lumora "$2") == "\"$1\\Lumora.exe\"" ]] ||
    fail "no login entry for $1\\Lumora.exe in the $2-bit view"
  [[ $(reg_value "$UNINSTALL_KEY" DisplayName "$2") == "Lumora ($3)" ]] ||
    fail "no \"Lumora ($3)\" in the installed programs"
  for link in Lumora.lnk "Lumora guide.lnk" "Lumora folder.lnk"; do
    [[ -f $MENU/$link ]] || fail "no Start menu entry $link"
  done
}
replaced() {  # DIR VIEW: nothing of that build left but the owner's PanelDrv.dll
  local left
  left=$(cd "$1" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
  [[ $left == "./PanelDrv.dll " ]] || fail "left in $1 besides the owner's PanelDrv.dll: $left"
  [[ -z $(reg_value "$RUN_KEY" Lumora "$2") ]] || fail "the $2-bit view keeps a login entry"
  [[ -z $(reg_value "$UNINSTALL_KEY" DisplayName "$2") ]] ||
    fail "the $2-bit view keeps an entry in the installed programs"
}
# The other installer's uninstaller may still be finishing: wait for its files to go.
settle() {  # DIR
  local deadline=$((SECONDS + 60))
  while [[ -e $1/Uninstall.exe || -e $1/Lumora.exe ]]; do
    ((SECONDS < deadline)) || fail "the replaced Lumora is still in $1 after 60 s"
    sleep 0.5
  done
}

say "the 32-bit Lumora, silently"
timeout 120 "$WINE" "$SETUP32" /S || fail "the 32-bit installer failed"
installed "$DIR32_WIN" 32 32-bit
cp "$(windows_build "$SOURCE_DIR" x86)/bin/PanelDrv.dll" "$DIR32/"

say "the 64-bit Lumora replaces it"
timeout 120 "$WINE" "$SETUP64" /S || fail "the 64-bit installer failed"
settle "$DIR32"
grep -qxF "Replacing Lumora (32-bit) in $DIR32_WIN: only one Lumora runs on a PC."$'\r' "$SETUP_LOG" ||
  fail "the 64-bit installer's log does not say it replaced the 32-bit Lumora: $(cat "$SETUP_LOG")"
replaced "$DIR32" 32
installed "$DIR64_WIN" 64 64-bit
cp "$(windows_build "$SOURCE_DIR" x64)/bin/PanelDrv.dll" "$DIR64/"

say "the 32-bit Lumora replaces the 64-bit one"
timeout 120 "$WINE" "$SETUP32" /S || fail "the 32-bit installer failed"
settle "$DIR64"
grep -qxF "Replacing Lumora (64-bit) in $DIR64_WIN: only one Lumora runs on a PC."$'\r' "$SETUP_LOG" ||
  fail "the 32-bit installer's log does not say it replaced the 64-bit Lumora: $(cat "$SETUP_LOG")"
replaced "$DIR64" 64
installed "$DIR32_WIN" 32 32-bit

say "the 32-bit Lumora's uninstaller"
timeout 60 "$WINE" "$DIR32/Uninstall.exe" /S || fail "Uninstall.exe /S failed"
settle "$DIR32"
replaced "$DIR32" 32
[[ ! -e $MENU ]] || fail "the Start menu entries are still there"
say "passed"
