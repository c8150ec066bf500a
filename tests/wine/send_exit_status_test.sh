#!/usr/bin/env bash
# lumora-send.exe under Wine keeps the exit statuses of every Lumora program
# (base/exit_status.h): a usage mistake and a missing scenario file give 2, a help that cannot
# be written (/dev/full) is said and gives 1, as lumora and lumora-replay do
# (tests/posix/exit_status_test.sh).
#
#   send_exit_status_test.sh SOURCE_DIR
#
# lumora-send.exe is cross-compiled by the x64 preset into the cross build folder of
# tests/wine/wine_lib.sh (under the build this test runs in, when CTest runs it).
#
# Exit status 77 (skipped) when Wine or the mingw-w64 toolchain is not installed.
set -u
source_dir=$(cd "$1" && pwd)
wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ] || ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
  echo "SKIPPED: Wine or mingw-w64 is not installed (Debian packages wine64 and" \
       "g++-mingw-w64-x86-64-posix; scripts/install-deps.sh installs them)" >&2
  exit 77
fi
TEST_NAME=sender_exit_statuses
. "$source_dir/tests/wine/wine_lib.sh"
build_dir=$(windows_build "$source_dir" x64)
wine_build "$source_dir" mingw-x64 "$build_dir" build-send-exit-statuses.log lumora-send
send=$build_dir/bin/lumora-send.exe
tmp=$(mktemp -d)
trap 'WINEPREFIX=$tmp/prefix wineserver -k 2>/dev/null; rm -rf "$tmp"' EXIT
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
fail=0

# expect STATUS STDERR-LINE COMMAND...
expect() {
  local status=$1 line=$2
  shift 2
  "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
  local got=$?
  if [ "$got" != "$status" ] || ! tr -d '\r' <"$tmp/err" | grep -qxF -- "$line"; then
    echo "FAIL: $*: status $got (wanted $status), standard error:"
    cat "$tmp/err"
    echo "wanted the line: $line"
    fail=1
  fi
}

missing=$tmp/missing.scn
expect 2 "Try 'lumora-send.exe --help' for more information." "$wine" "$send" --frob
expect 2 "lumora-send.exe: cannot read $missing: No such file or directory" \
  "$wine" "$send" --file "$missing"
expect 1 "lumora-send.exe: write error: No space left on device" \
  sh -c '"$0" "$1" --help >/dev/full' "$wine" "$send"

[ $fail = 0 ] && echo "lumora-send.exe: exit statuses as every tool's"
exit $fail
