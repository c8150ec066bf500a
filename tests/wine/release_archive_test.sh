#!/usr/bin/env bash
# The Windows release archive as an owner downloads it: scripts/release.sh builds it into a
# temporary folder, and this checks what is in it.
#
#   release_archive_test.sh SOURCE_DIR
#
#  - exactly the files the guide's section 1 promises: both installers, both architectures'
#    programs (the agent, the sender, the follower, the trace reader), the three stand-in
#    libraries of each (recording, on-screen, pass-through) and the guide; and in the debug
#    archive beside it the debug information of each binary, at its binary's path with ".debug"
#    added;
#  - every binary stripped (no debug sections, no symbol table), with a link naming its debug
#    file, and that file holding the debug information;
#  - the follower a program of the GUI subsystem (no console window at login);
#  - the sender not much larger than the agent of its architecture (at most a fifth more: it
#    carries the scenario language and its live player, the agent the engine and the panel; a
#    library pulled in by mistake, as std::filesystem once tripled it, goes far beyond);
#  - the guide, a text for Notepad: a byte-order mark, Windows line ends on every line, no line
#    wider than 100 characters, none of Markdown's marks (code, bold, headings, pipe tables),
#    the owner's sections only: nothing for developers or for the tests.
# Exit status 77 (skipped) when makensis or a mingw-w64 compiler is missing.
set -euo pipefail
if (($# != 1)); then
  echo "usage: release_archive_test.sh SOURCE_DIR" >&2
  exit 2
fi
SOURCE_DIR=$(cd "$1" && pwd)
VERSION=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
NAME=Lumora-$VERSION-windows

fail() {
  echo "release_archive: FAIL: $*" >&2
  exit 1
}
for tool in makensis:nsis x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix \
  i686-w64-mingw32-g++-posix:g++-mingw-w64-i686-posix; do
  command -v "${tool%%:*}" >/dev/null || {
    echo "release_archive: SKIPPED: ${tool%%:*} is missing: install the Debian package ${tool#*:}"
    exit 77
  }
done

TMP=$(mktemp -d /tmp/lumora-release.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
timeout 1500 "$SOURCE_DIR/scripts/release.sh" "$TMP/out" >"$TMP/release.log" 2>&1 ||
  fail "scripts/release.sh failed: $(tail -n 20 "$TMP/release.log")"
[[ -f $TMP/out/$NAME.zip ]] || fail "scripts/release.sh made no $NAME.zip"
[[ -f $TMP/out/$NAME-debug.zip ]] || fail "scripts/release.sh made no $NAME-debug.zip"
(cd "$TMP" && cmake -E tar xf "out/$NAME.zip") || fail "$NAME.zip cannot be unpacked"
mkdir "$TMP/debug"
(cd "$TMP/debug" && cmake -E tar xf "../out/$NAME-debug.zip") || fail "$NAME-debug.zip cannot be unpacked"
top=$TMP/$NAME
debug_top=$TMP/debug/$NAME
echo "release_archive: $NAME.zip $(stat -c %s "$TMP/out/$NAME.zip") bytes," \
  "$NAME-debug.zip $(stat -c %s "$TMP/out/$NAME-debug.zip") bytes"

# --- What is in it, written out by hand ------------------------------------------------------
expected=("Lumora guide.txt" "Lumora-x64-$VERSION-setup.exe" "Lumora-x86-$VERSION-setup.exe")
expected_debug=()
for arch in x64 x86; do
  for binary in Lumora.exe lumora-send.exe lumora-follow.exe lumora-replay.exe \
    stand-in/PanelDrv.dll on-screen/PanelDrv.dll pass-through/PanelDrv.dll; do
    expected+=("Lumora-$arch/$binary")
    expected_debug+=("Lumora-$arch/$binary.debug")
  done
done
want=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
have=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ $have == "$want" ]] || fail "the archive holds"$'\n'"$have"$'\n'"instead of"$'\n'"$want"
want=$(printf '%s\n' "${expected_debug[@]}" | LC_ALL=C sort)
have=$(cd "$debug_top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ $have == "$want" ]] || fail "the debug archive holds"$'\n'"$have"$'\n'"instead of"$'\n'"$want"

# --- Stripped binaries, debug information beside ---------------------------------------------
for arch in x64 x86; do
  objdump=x86_64-w64-mingw32-objdump
  [[ $arch == x86 ]] && objdump=i686-w64-mingw32-objdump
  for binary in Lumora.exe lumora-send.exe lumora-follow.exe lumora-replay.exe \
    stand-in/PanelDrv.dll on-screen/PanelDrv.dll pass-through/PanelDrv.dll; do
    file=$top/Lumora-$arch/$binary
    sections=$("$objdump" -h "$file") || fail "$objdump cannot read $arch/$binary"
    grep -q ' \.debug_' <<<"$sections" && fail "$arch/$binary carries debug sections"
    grep -q ' \.gnu_debuglink' <<<"$sections" || fail "$arch/$binary has no link to its debug file"
    # The link's name, from the text column of the section's dump: the debug file's own name,
    # so that it is found beside its binary.
    link=$("$objdump" -s -j .gnu_debuglink "$file" | sed -n 's/^ [0-9a-f]\{4,\} .\{35\}  //p' | tr -d '\n')
    [[ $link == "$(basename "$binary").debug"* ]] ||
      fail "$arch/$binary links to the debug file \"$link\", not $(basename "$binary").debug"
    symbols=$("$objdump" -t "$file")
    grep -q '^\[' <<<"$symbols" && fail "$arch/$binary carries a symbol table"
    "$objdump" -h "$debug_top/Lumora-$arch/$binary.debug" | grep -q ' \.debug_info' ||
      fail "$binary.debug of $arch holds no debug information"
  done
  # The follower starts at login: a program of the GUI subsystem, so that no console window
  # opens on the TV.
  headers=$("$objdump" -p "$top/Lumora-$arch/lumora-follow.exe") ||
    fail "$objdump cannot read $arch/lumora-follow.exe"
  grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" ||
    fail "$arch: lumora-follow.exe is not a program of the GUI subsystem"
  agent=$(stat -c %s "$top/Lumora-$arch/Lumora.exe")
  sender=$(stat -c %s "$top/Lumora-$arch/lumora-send.exe")
  echo "release_archive: $arch: Lumora.exe $agent bytes, lumora-send.exe $sender bytes"
  ((sender * 5 <= agent * 6)) ||
    fail "$arch: lumora-send.exe ($sender bytes) is more than a fifth larger than Lumora.exe ($agent)"
done

# --- The guide -------------------------------------------------------------------------------
guide=$top/"Lumora guide.txt"
lines=$(wc -l <"$guide")
crlf=$(grep -c $'\r$' "$guide" || true)
((lines > 0 && crlf == lines)) || fail "the guide has $crlf Windows line ends in $lines lines"
[[ $(tail -c 2 "$guide" | od -An -tx1) == " 0d 0a" ]] || fail "the guide's last line has no Windows line end"
[[ $(head -n 1 "$guide") == $'\xef\xbb\xbfLumora on Windows\r' ]] ||
  fail "the guide does not start with a byte-order mark and its title: $(head -n 1 "$guide" | od -c | head -n 2)"
grep -q '^8\. A bug report' "$guide" || fail "the guide lacks the owner's section 8"
# The widest line in characters (the mark and "€" count as they show: none and one).
width=$(tr -d '\r' <"$guide" | LC_ALL=C.UTF-8 wc -L)
((width <= 100)) || fail "the guide has a line of $width characters, wider than 100"
# Markdown's marks: code, bold, headings, pipe tables.
if grep -n -e '`' -e '\*\*' -e '^#' -e '^ *|.*| *.$' "$guide"; then
  fail "the guide holds Markdown's marks (above)"
fi
# Nothing for developers or for the tests.
if grep -n -i -e 'for developers' -e '--test-' -e 'guide-step' -e 'cmake' -e 'mingw' -e 'wine' \
  -e '\.md\b' "$guide"; then
  fail "the guide holds the developers' or the tests' words (above)"
fi
echo "release_archive: passed"
