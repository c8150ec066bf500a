#!/usr/bin/env bash
# The manual pages render with `man -l` without a warning, and each names every command and
# option that its program's --help names (and lumora-send(1) every event).
#
#   man_pages_test.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
pages=$2/docs/man
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! command -v man >/dev/null || ! command -v col >/dev/null; then
  echo "SKIP: man or col is missing (Debian packages man-db and bsdextrautils)"
  exit 77
fi

for page in lumora lumora-replay lumora-send; do
  # A wide page, so that no option is broken across lines.
  LC_ALL=C MANWIDTH=200 man --warnings -l "$pages/$page.1" 2>"$tmp/$page.err" |
    col -b >"$tmp/$page.txt"
  if [ -s "$tmp/$page.err" ] || [ ! -s "$tmp/$page.txt" ]; then
    echo "FAIL: $page.1 does not render cleanly:"
    cat "$tmp/$page.err"
    fail=1
  fi
done

# names_in PAGE WORD...: every WORD appears in the rendered PAGE.
names_in() {
  local page=$1
  shift
  for word in "$@"; do
    grep -qF -- "$word" "$tmp/$page.txt" || { echo "FAIL: $page.1 does not name $word"; fail=1; }
  done
}
# The options a --help text names.
options_of() { "$@" --help | grep -o -- '--[a-z][a-z-]*' | sort -u; }

names_in lumora run send status demo kodi mpris $(options_of "$bin/lumora") $(options_of "$bin/lumora" run) \
  $(options_of "$bin/lumora" demo) $(options_of "$bin/lumora" send) $(options_of "$bin/lumora" kodi) \
  $(options_of "$bin/lumora" mpris) $(options_of "$bin/lumora" status)
names_in lumora-send $(options_of "$bin/lumora" send) suspend resume resume-automatic \
  resume-critical enter-quiet leave-quiet lumora-send.exe
names_in lumora-send $("$bin/lumora" send --list | awk 'NR > 1 { print $2 }')
names_in lumora-replay $(options_of "$bin/lumora-replay") time lang device event copydata power \
  endsession tick timer close

[ $fail = 0 ] && echo "manual pages: render cleanly and name every option"
exit $fail
