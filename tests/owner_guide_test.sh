#!/usr/bin/env bash
# The owner's guide as cmake/owner_guide.cmake writes it from Markdown, on a small sample
# (tests/owner_guide/sample.md): the expected text below is laid out by hand from the rules at
# the top of that script.
#  - a byte-order mark, Windows line ends, the last line's included;
#  - the title and a section underlined, the marks of code and bold gone, ";" and "[...]" kept;
#  - a paragraph filled anew: its first line exactly 100 characters, the next word on the next;
#  - a list item's continuation joined to it; a block of commands indented by four, its fence
#    and its mark gone;
#  - a narrow table at its natural widths; a wide one whose short columns keep their widths and
#    whose long column takes the rest (84 = 100 - 2 before - 2 x 2 between - 3 - 7), wrapped;
#  - nothing from "## For developers" on;
#  - a block line that cannot fit fails, naming its line.
set -euo pipefail
if (($# != 1)); then
  echo "usage: owner_guide_test.sh SOURCE_DIR" >&2
  exit 2
fi
SOURCE_DIR=$(cd "$1" && pwd)
TMP=$(mktemp -d /tmp/lumora-owner-guide.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fail() {
  echo "owner_guide_text: FAIL: $*" >&2
  exit 1
}

cmake -DSOURCE="$SOURCE_DIR/tests/owner_guide/sample.md" -DOUTPUT="$TMP/guide.txt" \
  -P "$SOURCE_DIR/cmake/owner_guide.cmake" || fail "owner_guide.cmake failed on the sample"

words17="aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll mmmm nnnn oooo pppp qqqq"
lines=(
  "Title here"
  "=========="
  ""
  "Intro with code and bold; a [bracket] stays. This sentence goes on long enough that the line must be"
  "filled anew at one hundred characters wide."
  ""
  "2. Steps"
  "--------"
  ""
  "1. First. One two."
  "2. Second."
  ""
  "    echo one;two"
  ""
  "  A  B"
  "  -  -----"
  "  x  short"
  ""
  "  Key  Meaning$(printf '%77s' '')  Note"
  "  ---  $(printf '%84s' '' | tr ' ' -)  -------"
  "  k    $words17  one two"
  "       rrrr ssss tttt"
)
{
  printf '\xef\xbb\xbf'
  printf '%s\r\n' "${lines[@]}"
} >"$TMP/expected.txt"
cmp -s "$TMP/expected.txt" "$TMP/guide.txt" ||
  fail "the sample's guide differs from the expected text:"$'\n'"$(diff <(cat -A "$TMP/expected.txt") <(cat -A "$TMP/guide.txt"))"

# A line of a block is never wrapped: one that cannot fit stops the build, naming the line.
printf '# T\n\n```bat\n%s\n```\n\n## For developers\n' "$(printf 'x%.0s' {1..97})" >"$TMP/wide.md"
if cmake -DSOURCE="$TMP/wide.md" -DOUTPUT="$TMP/wide.txt" -P "$SOURCE_DIR/cmake/owner_guide.cmake" \
  >"$TMP/wide.log" 2>&1; then
  fail "a block line of 101 characters (with its indent) was accepted"
fi
grep -q "wide.md:4: a line of a block wider than 100" <(tr -s ' \n' ' ' <"$TMP/wide.log") ||
  fail "the failure does not name the line: $(cat "$TMP/wide.log")"
echo "owner_guide_text: passed"
