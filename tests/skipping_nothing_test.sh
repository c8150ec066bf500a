#!/usr/bin/env bash
# scripts/test.sh after a successful install: the test command fails when it skipped a test,
# keeps its own failure, and passes when every test ran. Each case is a stand-in for ctest's
# summary (its status and whether it lists tests that did not run). And the packages the install
# adds for the browser tests.
set -euo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
fail=0
summary() { # summary STATUS SKIPPED
  echo "100% tests passed, 0 tests failed out of 3"
  [ "$2" = yes ] && printf 'The following tests did not run:\n\t124 - page_in_browser (Skipped)\n'
  return "$1"
}
#      status skipped  expected
while read -r status skipped expected; do
  got=0
  skipping_nothing summary "$status" "$skipped" >/dev/null 2>&1 || got=$?
  [ "$got" = "$expected" ] ||
    { echo "FAIL: ctest status $status, skipped $skipped: $got, not $expected"; fail=1; }
done <<'CASES'
0 no  0
0 yes 1
8 no  8
8 yes 8
CASES

# The install puts Node.js in for the browser tests, and npm only where its command is missing.
lib=$(dirname "$0")/../scripts/lib.sh
mkdir -p "${TMPDIR:-/tmp}/npm-$$" && printf '#!/bin/sh\n' >"${TMPDIR:-/tmp}/npm-$$/npm" &&
  chmod +x "${TMPDIR:-/tmp}/npm-$$/npm"
with=$(PATH=${TMPDIR:-/tmp}/npm-$$ /bin/bash -c ". '$lib'; echo \${BROWSER_PACKAGES[*]}")
without=$(PATH=/nonexistent /bin/bash -c ". '$lib'; echo \${BROWSER_PACKAGES[*]}")
rm -rf "${TMPDIR:-/tmp}/npm-$$"
[ "$with" = nodejs ] || { echo "FAIL: packages with an npm command: $with"; fail=1; }
[ "$without" = "nodejs npm" ] || { echo "FAIL: packages without an npm command: $without"; fail=1; }
[ $fail = 0 ] && echo "skipping_nothing: all checks passed"
exit $fail
