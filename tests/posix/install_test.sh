#!/usr/bin/env bash
# `cmake --install` of a Linux build into a fresh prefix: every program, the demo's evening, the
# manual pages and the systemd user units (lumora run, lumora mpris), each naming the installed
# program; the installed agent reading its configuration file.
#
#   install_test.sh BUILD_DIR tree    the installed files, and the installed programs run
#   install_test.sh BUILD_DIR unit    systemd-analyze verify on the installed unit (skipped,
#                                     status 77, without systemd-analyze)
set -u
build=$1
mode=$2
fail=0
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

if [ "$mode" = unit ] && ! command -v systemd-analyze >/dev/null; then
  echo "SKIP: systemd-analyze is missing (Debian package systemd)"
  exit 77
fi
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 ||
  { cat "$prefix.log"; rm -f "$prefix.log"; echo "FAIL: cmake --install"; exit 1; }
rm -f "$prefix.log"
units=$prefix/lib/systemd/user
if [ "$mode" = unit ]; then
  . "$(dirname "$0")/test_lib.sh"
  for unit in "$units/lumora.service" "$units/lumora-follow.service" "$units/lumora-kodi.service" \
    "$units/lumora-mpris.service"; do
    verify_unit "$unit" "$prefix/share/man" || exit 1
  done
  echo "the installed units pass systemd-analyze verify"
  exit 0
fi

for file in bin/lumora bin/lumora-replay share/lumora/evening.scn \
  share/doc/lumora/examples/lumora.conf \
  share/man/man1/lumora.1 share/man/man1/lumora-replay.1 share/man/man1/lumora-send.1 \
  lib/systemd/user/lumora.service lib/systemd/user/lumora-follow.service \
  lib/systemd/user/lumora-kodi.service lib/systemd/user/lumora-mpris.service; do
  [ -f "$prefix/$file" ] || { echo "FAIL: $file was not installed"; fail=1; }
done
for program in lumora lumora-replay; do
  [ -x "$prefix/bin/$program" ] || { echo "FAIL: bin/$program is not executable"; fail=1; }
done
grep -qx "ExecStart=$prefix/bin/lumora run" "$units/lumora.service" ||
  { echo "FAIL: the unit does not start the installed program:"; grep ExecStart "$units/lumora.service"; fail=1; }
grep -qx "ExecStart=$prefix/bin/lumora follow" "$units/lumora-follow.service" ||
  { echo "FAIL: the follower's unit does not start the installed program"; fail=1; }
grep -qx "ExecStart=$prefix/bin/lumora kodi" "$units/lumora-kodi.service" ||
  { echo "FAIL: the bridge's unit does not start the installed program"; fail=1; }
grep -qx "ExecStart=$prefix/bin/lumora mpris" "$units/lumora-mpris.service" ||
  { echo "FAIL: the mpris unit does not start the installed program"; fail=1; }
grep -q '@' "$units"/lumora*.service &&
  { echo "FAIL: a unit keeps a template name"; fail=1; }

# The installed lumora(1) names the files where this prefix put them, not under /usr/local.
if command -v man >/dev/null && command -v col >/dev/null; then
  LC_ALL=C MANWIDTH=200 man -l "$prefix/share/man/man1/lumora.1" 2>/dev/null | col -b >"$prefix/page.txt"
  for file in share/lumora/evening.scn lib/systemd/user/lumora.service lib/systemd/user/lumora-follow.service \
    lib/systemd/user/lumora-kodi.service lib/systemd/user/lumora-mpris.service; do
    grep -qxF "       $prefix/$file" "$prefix/page.txt" ||
      { echo "FAIL: the installed lumora(1) does not name $prefix/$file"; fail=1; }
  done
  grep -q /usr/local "$prefix/page.txt" &&
    { echo "FAIL: the installed lumora(1) still names /usr/local:"; grep /usr/local "$prefix/page.txt"; fail=1; }
else
  grep -qF "$prefix/share/lumora/evening.scn" "$prefix/share/man/man1/lumora.1" ||
    { echo "FAIL: the installed lumora.1 does not name $prefix/share/lumora/evening.scn"; fail=1; }
fi

# The installed programs run from the prefix, and the demo finds its evening there.
[ "$("$prefix/bin/lumora-replay" --version)" = "$("$build/bin/lumora-replay" --version)" ] ||
  { echo "FAIL: the installed lumora-replay"; fail=1; }
printf 'event 7 NavHome\n' | "$prefix/bin/lumora-replay" | head -n 1 | grep -qx 'open 11853 16 16' ||
  { echo "FAIL: the installed lumora-replay does not replay"; fail=1; }
"$prefix/bin/lumora" --version | grep -qx 'lumora [0-9]*\.[0-9]*\.[0-9]*' ||
  { echo "FAIL: the installed lumora"; fail=1; }

# The installed agent takes its configuration file, as the installed unit runs it.
mkdir -p "$prefix/config/lumora"
printf '# the panel\npanel = "lcdproc"\n' >"$prefix/config/lumora/lumora.conf"
XDG_CONFIG_HOME=$prefix/config LUMORA_SYSTEM_CONFIG=$prefix/none.conf \
  "$prefix/bin/lumora" run --print-config >"$prefix/print.out" 2>&1
grep -qxF "panel = \"lcdproc\"  # $prefix/config/lumora/lumora.conf:2" "$prefix/print.out" ||
  { echo "FAIL: the installed lumora does not take its configuration file:"; cat "$prefix/print.out"; fail=1; }

[ $fail = 0 ] && echo "cmake --install: every file in place"
exit $fail
