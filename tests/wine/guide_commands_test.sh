#!/usr/bin/env bash
# The owner's guide (docs/windows.md, its sections before those for developers) read top to
# bottom under Wine: every block of commands, in the order the guide gives them, run in a
# command prompt as the owner would, from the folder of the unpacked release archive, for one of
# the cases the guide describes:
#
#   guide_commands_test.sh CASE SOURCE_DIR
#     x64     the 64-bit build on a 64-bit Windows (a 64-bit prefix), installed with the guide's
#             own example of another folder, /D=C:\Program Files\Media Center\Lumora
#     x86     the 32-bit build on a 32-bit Windows (a 32-bit prefix), in the usual folder
#     wow64   the 32-bit build on a 64-bit Windows: the login entry and the entry in the installed
#             programs in the registry's 32-bit view, installed with
#             /D=C:\Program Files (x86)\Media Center\Lumora (blanks and brackets)
#
# The guide marks each block of commands with a comment "<!-- guide-step: NAME -->" before its
# fence ```bat; a block of any other kind in the owner's sections must be ```text (no commands),
# so no command goes unrun. The commands are written for the 32-bit build: for x64,
# "Lumora-x86" reads "Lumora-x64", as the guide says. Each line must succeed (status 0), except in the login step, whose
# two lines are one for each view of the registry; after each step, what the guide says it does
# is checked. After a line "start Lumora.exe" the test waits for the agent's window, as the
# owner would before typing the next line. A "for" line is typed at a prompt, where its
# variables have one "%": in the test's batch file they get two, as the guide says; its status
# is that of its last round, which may rightly find nothing, so instead the folder it went to
# must be Lumora's. The install line gets the case's /D= as the guide says ("last").
#
# Exit status 77 (skipped) when a tool is missing, or when this machine cannot run 32-bit
# programs (x86, wow64). LUMORA_WINE_KEEP=1 keeps the temporary folder.
set -euo pipefail

if (($# != 2)) || [[ $1 != x64 && $1 != x86 && $1 != wow64 ]]; then
  echo "usage: guide_commands_test.sh x64|x86|wow64 SOURCE_DIR" >&2
  exit 2
fi
CASE=$1
SOURCE_DIR=$(cd "$2" && pwd)
GUIDE=$SOURCE_DIR/docs/windows.md
WINESERVER=/usr/lib/wine/wineserver
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# DIR_WIN: where Lumora is installed; ELSEWHERE: given with /D= (else the installer's own folder).
case $CASE in
  x64) ARCH=x64 WINE=/usr/lib/wine/wine64 VIEW=64
    DIR_WIN='C:\Program Files\Media Center\Lumora' ELSEWHERE=yes
    export WINEARCH=win64 ;;
  x86) ARCH=x86 WINE=/usr/lib/wine/wine VIEW=32 DIR_WIN='C:\Program Files\Lumora' ELSEWHERE=
    export WINEARCH=win32 ;;
  wow64) ARCH=x86 WINE=/usr/lib/wine/wine64 VIEW=32
    DIR_WIN='C:\Program Files (x86)\Media Center\Lumora' ELSEWHERE=yes
    export WINEARCH=win64 ;;
esac

TEST_NAME=guide_commands-$CASE
. "$SOURCE_DIR/tests/wine/wine_lib.sh"
TEST_LABEL="guide_commands $CASE"
wine_need_installers
[[ $ARCH == x86 ]] && wine_need_32bit

trap wine_cleanup EXIT
trap 'exit 130' INT TERM

# --- The owner's commands, block by block ----------------------------------------------------
# NAME, then the block's lines, a block a paragraph; fails on a block of commands without a mark.
extract_steps() {
  awk '
    /^## For developers/ { exit }
    /^<!-- guide-step: [a-z-]+ -->$/ { name = $3; next }
    /^```/ {
      if (!inside) {
        inside = 1
        kind = substr($0, 4)
        if (kind == "bat") {
          if (name == "") { print "unmarked block at line " NR > "/dev/stderr"; exit 1 }
          printf "%s%s\n", (steps++ ? "\n" : ""), name
        } else if (kind != "text") {
          print "a block of kind \"" kind "\" at line " NR > "/dev/stderr"; exit 1
        } else if (name != "") {
          print "a mark before a text block at line " NR > "/dev/stderr"; exit 1
        }
        next
      }
      inside = 0; name = ""; next
    }
    inside && kind == "bat" { print }
  ' "$GUIDE"
}
steps=$(extract_steps) || fail "the guide has a block of commands that no step of this test runs"
names=$(awk 'BEGIN { RS = ""; FS = "\n" } { print $1 }' <<<"$steps" | tr '\n' ' ')
# The steps this test knows how to check, in the guide's order: a new block needs its check here.
[[ $names == "install login check uninstall stand-ins record " ]] ||
  fail "the guide's blocks of commands are: $names"

# --- The archive, as the owner unpacks it ----------------------------------------------------
say "building the release archive"
mkdir -p "/tmp/lumora-guide-out-$$"
OUT=/tmp/lumora-guide-out-$$
timeout 1500 "$SOURCE_DIR/scripts/release.sh" "$OUT" >"$OUT/release.log" 2>&1 ||
  { tail -n 20 "$OUT/release.log" >&2; rm -rf "$OUT"; fail "scripts/release.sh failed"; }
say "preparing a $WINEARCH Wine prefix on a virtual display"
wine_start
(cd "$TMP" && cmake -E tar xf "$OUT/Lumora-$VERSION-windows.zip") || fail "cannot unpack the archive"
rm -rf "$OUT"
ARCHIVE=$TMP/Lumora-$VERSION-windows

unixpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
DIR=$(unixpath "$DIR_WIN")
reg_value() {  # KEY NAME VIEW: the data of a value in one view of the registry
  "$WINE" reg query "$1" /v "$2" "/reg:$3" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
}

# Runs one step's block in a command prompt from the archive's folder; its output in TMP/NAME.out.
run_step() {  # NAME
  local name=$1 number=0 line
  {
    while IFS= read -r line; do
      number=$((number + 1))
      line=${line//Lumora-x86/Lumora-$ARCH}
      if [[ $name == install && -n $ELSEWHERE && $line == *-setup.exe\ /S ]]; then
        line="$line /D=$DIR_WIN"
      fi
      if [[ $line == "for "* ]]; then
        line=$(sed -E 's/%([a-z])([^A-Za-z0-9_]|$)/%%\1\2/g' <<<"$line")
        printf '%s\r\n' "$line"
        printf 'if /i not "%%CD%%"=="%s" echo GUIDE-FAILED: line %s of the block went to %%CD%%\r\n' \
          "$DIR_WIN" "$number"
        continue
      fi
      printf '%s\r\n' "$line"
      if [[ $name != login ]]; then
        printf 'if errorlevel 1 echo GUIDE-FAILED: line %s of the block\r\n' "$number"
      fi
      if [[ $line == "start Lumora.exe" ]]; then
        printf 'lumora-send.exe --test-wait-window 60 >nul\r\n'
      fi
    done < <(awk -v want="$name" 'BEGIN { RS = ""; FS = "\n" } $1 == want {
      for (i = 2; i <= NF; ++i) print $i }' <<<"$steps")
  } >"$TMP/$name.bat"
  say "step $name: $(grep -cv -e '^if ' -e 'test-wait-window' "$TMP/$name.bat") commands"
  (cd "$ARCHIVE" && timeout 300 "$WINE" cmd /c "$(winepath_of "$TMP/$name.bat")") \
    >"$TMP/$name.out" 2>&1 || true
  tr -d '\r' <"$TMP/$name.out" >"$TMP/$name.log"
  if [[ $name != login ]] && grep -q "^GUIDE-FAILED" "$TMP/$name.log"; then
    fail "step $name: $(grep "^GUIDE-FAILED" "$TMP/$name.log" | head -n 1); its output:"$'\n'"$(cat "$TMP/$name.log")"
  fi
}
winepath_of() { echo "Z:${1//\//\\}"; }

gone() {  # PATH: waits up to 60 s until PATH no longer exists
  local deadline=$((SECONDS + 60))
  while [[ -e $1 ]]; do
    ((SECONDS < deadline)) || return 1
    sleep 0.5
  done
}

# --- The steps and what the guide says each does ---------------------------------------------
run_step install
for file in Lumora.exe lumora-send.exe "Lumora guide.txt" Uninstall.exe; do
  [[ -f $DIR/$file ]] || fail "install: no $file in $DIR_WIN"
done
[[ $(reg_value "$RUN_KEY" Lumora "$VIEW") == "\"$DIR_WIN\\Lumora.exe\"" ]] ||
  fail "install: no login entry naming $DIR_WIN\\Lumora.exe in the $VIEW-bit view"

# Section 2: "Copy the panel maker's PanelDrv.dll into that folder": here the recording stand-in.
cp "$ARCHIVE/Lumora-$ARCH/stand-in/PanelDrv.dll" "$DIR/"

run_step login
# The folder as it stands (brackets and all): compared as text, not as a pattern.
grep -E '^ *Lumora +REG_SZ +' "$TMP/login.log" | grep -qF "\"$DIR_WIN\\Lumora.exe\"" ||
  fail "login: neither command showed the login entry:"$'\n'"$(cat "$TMP/login.log")"

run_step check
grep -q "no window" "$TMP/check.log" && fail "check: $(cat "$TMP/check.log")"

run_step uninstall
gone "$DIR/Uninstall.exe" || fail "uninstall: Uninstall.exe still there after 60 s"
[[ -z $(reg_value "$RUN_KEY" Lumora "$VIEW") ]] || fail "uninstall: the login entry is still there"
# The owner's PanelDrv.dll stays, and with it the folder: "delete both by hand".
rm "$DIR/PanelDrv.dll"
rmdir "$DIR" || fail "uninstall: left behind in $DIR_WIN: $(ls "$DIR")"
[[ -n $ELSEWHERE ]] && rmdir "$(dirname "$DIR")"  # the owner's Media Center folder
left=$(cd "$WINEPREFIX/drive_c" && find . -ipath '*lumora*' ! -name Lumora-setup.log)
[[ -z $left ]] || fail "uninstall: left behind: $left"

run_step stand-ins
# What the programs printed, without the prompt's echo of each command.
grep -v -e '^[A-Z]:\\.*>' -e '^$' "$TMP/stand-ins.log" >"$TMP/stand-ins.printed" || true
head -n 3 "$TMP/stand-ins.printed" | tr '\n' '|' | grep -qx 'open 11853 16 16|option 3|clear|' ||
  fail "stand-ins: lumora-replay.exe --trace began otherwise:"$'\n'"$(cat "$TMP/stand-ins.log")"
grep -qE '^text3 0 " [ 1][0-9]:[0-5][0-9]:[0-5][0-9] [AP]M"$' "$TMP/stand-ins.printed" ||
  fail "stand-ins: no time of day read back from the trace:"$'\n'"$(cat "$TMP/stand-ins.log")"
grep -q '^text2 0 "MCE Home' "$TMP/stand-ins.printed" ||
  fail "stand-ins: NavHome's \"MCE Home\" not read back from the trace"

run_step record
"$WINE" reg query 'HKCU\Environment' /v LUMORA_RECORD >/dev/null 2>&1 &&
  fail "record: LUMORA_RECORD is still set"
say "passed: every command of the guide ran"
