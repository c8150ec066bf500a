#!/usr/bin/env bash
# The manual pages render with `man -l` without a warning, and the documents agree with the
# programs' --help: for every command that `lumora --help` lists (and for lumora-replay), every
# option its --help lists is in the command's lines of its manual page's SYNOPSIS, in the
# command's part of OPTIONS, and in the README's synopsis; each command has its entry under the
# page's COMMANDS and a section in docs/linux-host.md. lumora-send(1) names every event.
#
#   man_pages_test.sh BIN_DIR SOURCE_DIR
#
# A new command of lumora passes once it has: a line "lumora NAME [OPTIONS...]" in lumora.1's
# SYNOPSIS and in the README's synopsis block (```, "lumora NAME ..."), an entry ".B NAME" under
# COMMANDS, a subsection ".SS lumora NAME" under OPTIONS naming each option, and a heading
# "### `lumora NAME`..." in docs/linux-host.md.
set -u
bin=$1
source_dir=$2
pages=$source_dir/docs/man
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! command -v man >/dev/null || ! command -v col >/dev/null; then
  echo "SKIP: man or col is missing (Debian packages man-db and bsdextrautils)"
  exit 77
fi

for page in lumora lumora-replay lumora-send; do
  # A wide page, so that no synopsis line or option is broken across lines.
  LC_ALL=C MANWIDTH=400 man --warnings -l "$pages/$page.1" 2>"$tmp/$page.err" |
    col -b >"$tmp/$page.txt"
  if [ -s "$tmp/$page.err" ] || [ ! -s "$tmp/$page.txt" ]; then
    echo "FAIL: $page.1 does not render cleanly:"
    cat "$tmp/$page.err"
    fail=1
  fi
done

# section PAGE NAME: the lines of a section of a rendered page (its heading at the left margin).
section() {
  awk -v name="$2" '/^[A-Z]/ { inside = ($0 == name); next } inside' "$tmp/$1.txt"
}
# subsection PAGE SECTION NAME: the lines of a subsection (its heading indented by three).
subsection() {
  section "$1" "$2" | awk -v name="   $3" '/^   [^ ]/ { inside = ($0 == name); next } inside'
}
# The README's synopsis: the lines of its blocks that start with a program's name, each joined
# with the indented lines that continue it.
awk '/^```/ { inside = !inside }
     inside && /^ / && line != "" { line = line $0; next }
     line != "" { print line; line = "" }
     inside && /^lumora/ { line = $0 }' "$source_dir/README.md" >"$tmp/readme.txt"

# names_in WHAT FILE OPTION...: every OPTION stands in FILE as a word of its own; an option with
# a short and a long form ("-v,--verbose") in either form.
names_in() {
  local what=$1 file=$2 option
  shift 2
  for option in "$@"; do
    grep -qE -- "(^|[^-[:alnum:]])(${option//,/|})([^-[:alnum:]]|\$)" "$file" ||
      { echo "FAIL: $what does not name ${option//,/ or }"; fail=1; }
  done
}
# options_of PROGRAM...: the options its --help lists, one a word: "  --socket PATH  ..." as
# --socket, "  -v, --verbose  ..." as -v,--verbose; --help and --version, which every program
# answers, aside.
options_of() {
  "$@" --help | sed -n 's/^  \(-[^ ].*\)/\1/p' | sed 's/  .*//' |
    sed 's/, /,/g; s/ .*//' | grep -vx -e --help -e --version -e -- | sort -u
}
# each OPTION...: the forms of the options one by one ("-v,--verbose" as -v and --verbose).
each() { echo "$@" | tr ', ' '\n\n'; }
# starting PREFIX FILE: the lines of FILE that start with PREFIX and a blank, leading blanks aside.
starting() {
  sed 's/^ *//' "$2" | grep -F -- "$1 " | awk -v p="$1 " 'index($0, p) == 1' >"$tmp/lines"
  echo "$tmp/lines"
}

# The commands as `lumora --help` lists them ("  NAME   what it does", a blank at least).
commands=$("$bin/lumora" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
[ -n "$commands" ] || { echo "FAIL: lumora --help lists no command"; exit 1; }
section lumora COMMANDS >"$tmp/commands.txt"
for command in $commands; do
  options=$(options_of "$bin/lumora" "$command")
  section lumora SYNOPSIS >"$tmp/synopsis.txt"
  [ -s "$(starting "lumora $command" "$tmp/synopsis.txt")" ] ||
    { echo "FAIL: the SYNOPSIS of lumora.1 has no line for lumora $command"; fail=1; }
  # shellcheck disable=SC2086 # one option a word
  names_in "the SYNOPSIS of lumora.1 for lumora $command" "$(starting "lumora $command" "$tmp/synopsis.txt")" \
    $options
  subsection lumora OPTIONS "lumora $command" >"$tmp/options.txt"
  [ -s "$tmp/options.txt" ] || { echo "FAIL: lumora.1 has no OPTIONS subsection lumora $command"; fail=1; }
  # shellcheck disable=SC2046
  names_in "lumora.1's OPTIONS of lumora $command" "$tmp/options.txt" $(each $options)
  grep -qE "^       $command( |\$)" "$tmp/commands.txt" ||
    { echo "FAIL: lumora.1 has no entry for $command under COMMANDS"; fail=1; }
  [ -s "$(starting "lumora $command" "$tmp/readme.txt")" ] ||
    { echo "FAIL: the README's synopsis has no line for lumora $command"; fail=1; }
  # shellcheck disable=SC2086
  names_in "the README's synopsis of lumora $command" "$(starting "lumora $command" "$tmp/readme.txt")" \
    $options
  grep -q "^### \`lumora $command\`" "$source_dir/docs/linux-host.md" ||
    { echo "FAIL: docs/linux-host.md has no section \"### \`lumora $command\`\""; fail=1; }
done
names_in "lumora.1" "$tmp/lumora.txt" --help --version

options=$(options_of "$bin/lumora-replay")
section lumora-replay SYNOPSIS >"$tmp/synopsis.txt"
# shellcheck disable=SC2086
names_in "the SYNOPSIS of lumora-replay.1" "$(starting lumora-replay "$tmp/synopsis.txt")" $options
section lumora-replay OPTIONS >"$tmp/options.txt"
# shellcheck disable=SC2046
names_in "lumora-replay.1's OPTIONS" "$tmp/options.txt" $(each $options) --help --version
# shellcheck disable=SC2086
names_in "the README's synopsis of lumora-replay" "$(starting lumora-replay "$tmp/readme.txt")" $options

names_in lumora-send.1 "$tmp/lumora-send.txt" $(each $(options_of "$bin/lumora" send)) suspend resume \
  resume-automatic resume-critical enter-quiet leave-quiet lumora-send.exe
names_in lumora-send.1 "$tmp/lumora-send.txt" $("$bin/lumora" send --list | awk 'NR > 1 { print $2 }')
names_in lumora-replay.1 "$tmp/lumora-replay.txt" time lang device event copydata power endsession \
  tick timer close

[ $fail = 0 ] && echo "manual pages and README: render cleanly and name every option of every --help"
exit $fail
