#!/usr/bin/env bash
# The sender carries nothing of the agent: lumora-send.exe, built from the scenario language and
# the ground floor alone, holds no symbol of the engine, the panel wrapper or the window, while
# Lumora.exe does (so the check itself can see them).
#
#   sender_symbols_test.sh SOURCE_DIR
#
# The Windows programs are cross-compiled by the x64 preset into the cross build folder of
# tests/wine/wine_lib.sh (under the build this test runs in, when CTest runs it).
#
# Exit status 77 (skipped) when the mingw-w64 toolchain is not installed.
set -u
source_dir=$(cd "$1" && pwd)
TEST_NAME=sender_has_no_agent_symbols
. "$source_dir/tests/wine/wine_lib.sh"
build_dir=$(windows_build "$source_dir" x64)
nm=x86_64-w64-mingw32-nm
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || ! command -v "$nm" >/dev/null 2>&1; then
  echo "SKIPPED: mingw-w64 is not installed (Debian package g++-mingw-w64-x86-64-posix;" \
       "scripts/install-deps.sh installs it)" >&2
  exit 77
fi
wine_build "$source_dir" mingw-x64 "$build_dir" build-sender-symbols.log lumora-send Lumora

# The programs themselves are stripped: their symbols are in the debug files beside them.
agent_symbols='MediaEngine|CVFDCmd|CAgentDlg|SessionTable|PictureSessionList'
in_agent=$("$nm" -C "$build_dir/bin/Lumora.exe.debug" | grep -cE "$agent_symbols")
in_sender=$("$nm" -C "$build_dir/bin/lumora-send.exe.debug" | grep -E "$agent_symbols")
if [ "$in_agent" -eq 0 ]; then
  echo "FAIL: no agent symbol found in Lumora.exe: the check cannot see them" >&2
  exit 1
fi
if [ -n "$in_sender" ]; then
  echo "FAIL: lumora-send.exe carries agent symbols:" >&2
  echo "$in_sender" | head -20 >&2
  exit 1
fi
echo "lumora-send.exe: no engine, panel or window symbols (Lumora.exe: $in_agent)"
