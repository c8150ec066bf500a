#!/usr/bin/env bash
# The panel's characters stay in their cells when librsvg draws a picture (rsvg-convert, as
# image viewers and converters do): each character of a text line has its ink inside the cell
# of its column, and a blank column has none, on both lines.
#
#   replay_svg_cells_test.sh LUMORA_REPLAY
#
# Needs rsvg-convert (Debian package librsvg2-bin) and ImageMagick's convert (imagemagick);
# skipped (status 77) when either is missing.
set -u
replay=$1
for tool in rsvg-convert:librsvg2-bin convert:imagemagick; do
  if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
    echo "SKIPPED: ${tool%%:*} is missing: install the Debian package ${tool#*:}"
    exit 77
  fi
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

# Live TV on channel 7 with the time of day beside it: line 2 "CH-7" from column 0, line 3
# "  9:07:30 PM" with blanks at columns 0, 1 and 9.
printf 'event 7 SessionOpened\nevent 7 LiveTvStarted\nevent 7 ItemNumber 7\n' >"$tmp/tv.scn"
"$replay" --svg "$tmp/svg" "$tmp/tv.scn" >/dev/null || { echo "FAIL: lumora-replay failed"; exit 1; }
svg="$tmp/svg/0003.svg"
rsvg-convert -o "$tmp/panel.png" "$svg" || { echo "FAIL: rsvg-convert failed"; exit 1; }

# The picture's geometry: 20 cells of 24 px from x = 80; a line's cells from 30 px above its
# base line to 8 px below it (line 2 at 78, line 3 at 122). A lit character is #7dffe4 (red
# 125 of 255); the glass, the cells and the glow around the characters have red under 40.
for line in 2:78 3:122; do
  number=${line%:*} base=${line#*:}
  # The line's text as the picture has it (its title), in its 20 columns.
  text=$(grep -o "data-line=\"$number\"[^>]*><title>[^<]*</title>" "$svg" | sed 's/.*<title>//; s#</title>##')
  text=$(printf '%-20.20s' "$text")
  read -r -a red <<<"$(convert "$tmp/panel.png" -crop "480x38+80+$((base - 30))" +repage \
    -crop 24x38 +repage -channel R -separate -format '%[fx:maxima*255] ' info:)"
  [ "${#red[@]}" = 20 ] || { echo "FAIL: line $number: ${#red[@]} cells measured"; fail=1; continue; }
  for column in $(seq 0 19); do
    char=${text:$column:1}
    inked=$(awk -v r="${red[$column]}" 'BEGIN { print (r > 90) ? 1 : 0 }')
    if [ "$char" = " " ] && [ "$inked" = 1 ]; then
      echo "FAIL: line $number column $column is blank but holds ink (red ${red[$column]})"
      fail=1
    elif [ "$char" != " " ] && [ "$inked" = 0 ]; then
      echo "FAIL: line $number column $column ('$char') has no ink in its cell"
      fail=1
    fi
  done
done
[ $fail = 0 ] && echo "the characters stay in their cells in librsvg"
exit $fail
