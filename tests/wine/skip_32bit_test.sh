#!/usr/bin/env bash
# Every test that runs a 32-bit Windows program reports itself skipped (status 77), with the
# reason, on a machine whose kernel runs no 32-bit programs, rather than failing: each is run
# with a stand-in for Wine's 32-bit loader that the kernel refuses as such a kernel does
# (LUMORA_WINE32), and must say so within seconds, before building anything.
#
#   skip_32bit_test.sh SOURCE_DIR
#
# Skipped itself (77) when a tool the tests look for first is missing: they then skip for that.
set -u
SOURCE_DIR=$(cd "$1" && pwd)
HERE=$SOURCE_DIR/tests/wine
fail=0
missing=
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

printf '#!/bin/sh\necho "$0: cannot execute binary file: Exec format error" >&2\nexit 126\n' \
  >"$tmp/wine"
chmod +x "$tmp/wine"

# Each test of a 32-bit program, as CTest runs it (the trace checker and replay of wine_e2e are
# never reached).
while read -r name command; do
  # shellcheck disable=SC2086 # the words of the command
  LUMORA_WINE32=$tmp/wine LUMORA_WINDOWS_BUILDS=$tmp/builds timeout 60 \
    bash $command >"$tmp/out" 2>"$tmp/err"
  status=$?
  reason=$(grep -h 'SKIPPED\|SKIP:' "$tmp/out" "$tmp/err" | head -n 1)
  if [[ $status == 77 && $reason == *"no 32-bit programs"* ]]; then
    echo "$name: $reason"
  elif [[ $status == 77 && $reason == *missing* ]]; then
    missing+="$name: $reason"$'\n'
  else
    echo "FAIL: $name with a kernel that refuses 32-bit programs: status $status, not skipped for it:"
    cat "$tmp/out" "$tmp/err"
    fail=1
  fi
  [[ -e $tmp/builds ]] && { echo "FAIL: $name built before it skipped"; fail=1; rm -rf "$tmp/builds"; }
done <<EOF
wine_e2e_x86 $HERE/wine_e2e.sh x86 $SOURCE_DIR /bin/false /bin/false
wine_guide_x86 $HERE/guide_commands_test.sh x86 $SOURCE_DIR
wine_guide_wow64 $HERE/guide_commands_test.sh wow64 $SOURCE_DIR
wine_one_lumora $HERE/one_lumora_test.sh $SOURCE_DIR
follow_wine_x86 $HERE/follow_wine_test.sh x86 $SOURCE_DIR /bin/false
follow_install_x86 $HERE/follow_install_test.sh x86 $SOURCE_DIR
media_sessions_wine_x86 $HERE/media_sessions_test.sh x86 $SOURCE_DIR /bin/false /bin/false
EOF

if ((fail == 0)) && [[ -n $missing ]]; then
  printf 'SKIPPED: tools are missing, so these tests skip for that first:\n%s' "$missing"
  exit 77
fi
((fail == 0)) && echo "every 32-bit test skips, with the reason, where 32-bit programs cannot run"
exit $fail
