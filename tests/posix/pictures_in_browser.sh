#!/usr/bin/env bash
# The pictures of lumora-replay in a real browser: headless Chromium loads the page of a
# replayed evening, runs its script and must show the first step with its scenario line, the
# panel's texts and the step counter that only the page's script writes.
#
#   pictures_in_browser.sh LUMORA_REPLAY SCENARIO
#
# Chromium comes from Debian's package chromium, installed by scripts/install-deps.sh; when it is
# missing the test is skipped (exit status 77).
set -u
replay=$1
scenario=$2

find_browser() {
  for name in chromium chromium-browser; do
    if command -v "$name" >/dev/null 2>&1; then
      command -v "$name"
      return 0
    fi
  done
  return 1
}

browser=$(find_browser)
if [ -z "$browser" ]; then
  echo "SKIPPED: chromium is not installed (install the Debian package chromium)" >&2
  exit 77
fi

work=$(mktemp -d /tmp/lumora-browser-XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$replay" --svg "$work/svg" --html "$work/evening.html" "$scenario" >"$work/trace" ||
  fail "lumora-replay --svg --html failed"
steps=$(grep -c '<section class="frame"' "$work/evening.html")
svgs=$(ls "$work/svg" | wc -l)
[ "$steps" -gt 10 ] || fail "the page has only $steps steps"
[ "$steps" = "$svgs" ] || fail "$steps steps on the page but $svgs SVG files"
[ -f "$work/svg/0001.svg" ] || fail "no 0001.svg"

run_browser() {
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --no-first-run --disable-sync \
    --user-data-dir="$work/profile-$1" "${@:2}" 2>"$work/browser-$1.err"
}

run_browser page --dump-dom "file://$work/evening.html" >"$work/dom.html" ||
  fail "chromium could not load the page: $(tail -5 "$work/browser-page.err")"

expect() {
  grep -qF -- "$1" "$work/dom.html" || fail "the page in the browser lacks: $1"
}
# The script ran: it marks the page, shows the first step and writes the counter.
expect '<body class="js">'
expect "id=\"counter\">1 / $steps<"
expect '<section class="frame current" id="step1" '
# The first scenario line and what it sent, then texts and icons of later steps.
first=$(grep -v '^[[:space:]]*\(#\|$\)' "$scenario" | head -1 | sed 's/^[[:space:]]*//')
expect "<pre class=\"source\">$first</pre>"
expect 'open 11853 16 16'
expect 'MCE Home'
expect 'CH-007'
expect 'VCD_HOLIDAY'
expect 'PANEL CLOCK'
expect '>SCAN B</text>'

# A picture on its own is a valid SVG document for the browser as well.
run_browser svg --dump-dom "file://$work/svg/0001.svg" >"$work/svg.dom" ||
  fail "chromium could not load 0001.svg"
grep -q 'LEVEL' "$work/svg.dom" || fail "0001.svg did not render its text"
echo "the page of $steps steps shows in chromium"
