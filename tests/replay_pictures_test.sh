#!/usr/bin/env bash
# The pictures of lumora-replay as a user meets them: the page of a long recording (ticks
# folded, event texts, each picture drawn once, small), the fold and the page's clock on a short
# scenario worked out by hand, a reused --svg folder, a page that cannot be written, and standard
# input on a terminal.
#
#   replay_pictures_test.sh LUMORA_REPLAY
set -u
replay=$1
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bad() { echo "FAIL: $*"; fail=1; }
has() {  # has FILE TEXT WHAT
  grep -qF -- "$2" "$1" || bad "$3: no '$2'"
}

# --- A short scenario, by hand ------------------------------------------------------------
# The shell shows its menu, then a tick line and a `tick 2` fold into one step of 3 ticks; a
# pause before the next tick keeps it a step of its own, at 0:04 on the page's clock; a caption
# starts the next fold (2 ticks); the event after half a second more is at 0:04.5. Every tick
# moves the virtual clock by a second from 21:07:30.
cat >"$tmp/short.scn" <<'EOF'
event 1 NavHome
tick
tick 2
# wait 4
tick
#> later
tick
tick
# wait 0.5
event 7 ItemNumber "7"
EOF
"$replay" --html "$tmp/short.html" "$tmp/short.scn" >/dev/null || bad "short: lumora-replay failed"
sections=$(grep -c '<section class="frame"' "$tmp/short.html")
[ "$sections" = 5 ] || bad "short: $sections steps, wanted 5"
step() {  # step N: the section of step N on one line
  tr '\n' ' ' <"$tmp/short.html" | grep -o "<section class=\"frame\" id=\"step$1\"[^§]*" |
    sed 's#</section>.*##'
}
step 2 >"$tmp/step2"
has "$tmp/step2" 'scenario lines 2 to 3 (3 clock ticks)' "short step 2"
has "$tmp/step2" '<dd class="event">tick ×3</dd>' "short step 2"
has "$tmp/step2" '<dd class="virtual-time">2006-01-05 21:07:33</dd>' "short step 2"
has "$tmp/step2" '<dd class="play-time">0:00</dd>' "short step 2"
# The first tick line sent one time of day; the last line's two are listed whole.
has "$tmp/step2" '<li class="folded">the earlier ticks sent: text3 ×1</li>' "short step 2"
[ "$(grep -o '<span class="call">text3 0' "$tmp/step2" | wc -l)" = 2 ] ||
  bad "short step 2: not the two calls of its last line"
step 3 >"$tmp/step3"
has "$tmp/step3" 'data-wait-ms="4000"' "short step 3"
has "$tmp/step3" 'scenario line 5<' "short step 3"
has "$tmp/step3" '<dd class="event">tick</dd>' "short step 3"
has "$tmp/step3" '<dd class="play-time">0:04</dd>' "short step 3"
has "$tmp/step3" '<dd class="virtual-time">2006-01-05 21:07:34</dd>' "short step 3"
step 4 >"$tmp/step4"
has "$tmp/step4" '<p>later</p>' "short step 4"
has "$tmp/step4" 'scenario lines 7 to 8 (2 clock ticks)' "short step 4"
has "$tmp/step4" '<dd class="virtual-time">2006-01-05 21:07:36</dd>' "short step 4"
step 5 >"$tmp/step5"
has "$tmp/step5" 'data-wait-ms="500"' "short step 5"
has "$tmp/step5" '<dd class="play-time">0:04.5</dd>' "short step 5"
has "$tmp/step5" '<dd class="event">ItemNumber &quot;7&quot; (session 7)</dd>' "short step 5"
has "$tmp/short.html" '<span class="name">ItemNumber</span><span class="payload">&quot;7&quot;</span><span class="session">7</span>' "short timeline"

# The pictures read the replay's one clock: a run boundary starts a fresh machine at the default
# time, whatever time the run before it had set.
printf 'time 2030-05-06 07:08:09\nevent 1 NavHome\nrun\nevent 1 NavHome\n' >"$tmp/runs.scn"
"$replay" --html "$tmp/runs.html" "$tmp/runs.scn" >/dev/null || bad "runs: lumora-replay failed"
times=$(grep -o '<dd class="virtual-time">[^<]*' "$tmp/runs.html" | sed 's/.*>//' | tr '\n' '|')
[ "$times" = "2030-05-06 07:08:09|2030-05-06 07:08:09|2006-01-05 21:07:30|2006-01-05 21:07:30|" ] ||
  bad "runs: virtual times $times"

# Timers other than the clock's change nothing and move no clock: three steps, one picture,
# drawn once in the page and one file under three names in the folder.
printf 'event 1 NavHome\ntimer 2\ntimer 2\n' >"$tmp/same.scn"
"$replay" --svg "$tmp/same-svg" --html "$tmp/same.html" "$tmp/same.scn" >/dev/null ||
  bad "same: lumora-replay failed"
[ "$(grep -c '^<symbol id="picture' "$tmp/same.html")" = 1 ] || bad "same: not one picture"
[ "$(grep -o '<use href="#picture1"/>' "$tmp/same.html" | wc -l)" = 3 ] ||
  bad "same: not three steps showing it"
[ "$(ls "$tmp/same-svg" | tr '\n' ' ')" = "0001.svg 0002.svg 0003.svg " ] ||
  bad "same: the folder holds $(ls "$tmp/same-svg" | tr '\n' ' ')"
[ "$(ls -i "$tmp/same-svg" | awk '{print $1}' | sort -u | wc -l)" = 1 ] ||
  bad "same: the three names are not one file"

# --- An hour of recording -----------------------------------------------------------------
# A tick every second and an event every three minutes, as `lumora run --record` writes them:
# 2 events, then 20 times 180 tick lines and an event with its text. 42 steps: each run of 180
# ticks one step "tick ×180", each event one with its text.
{
  echo "event 1 SessionOpened"
  echo "event 1 NavHome"
  for k in $(seq 1 20); do
    yes tick | head -n 180
    echo "event 1 MediaName \"Show $k\""
  done
} >"$tmp/hour.scn"
"$replay" --svg "$tmp/hour-svg" --html "$tmp/hour.html" "$tmp/hour.scn" >"$tmp/hour.trace" ||
  bad "hour: lumora-replay failed"
size=$(wc -c <"$tmp/hour.html")
[ "$size" -lt 2000000 ] || bad "hour: the page has $size bytes, 2 MB at most"
sections=$(grep -c '<section class="frame"' "$tmp/hour.html")
[ "$sections" = 42 ] || bad "hour: $sections steps, wanted 42"
folds=$(grep -c '<span class="name">tick ×180</span>' "$tmp/hour.html")
[ "$folds" = 20 ] || bad "hour: $folds folded steps of 180 ticks in the timeline, wanted 20"
for k in 1 7 20; do
  has "$tmp/hour.html" "<span class=\"name\">MediaName</span><span class=\"payload\">&quot;Show $k&quot;</span>" "hour timeline"
done
# Each picture once: no two symbols alike, and as many as the steps show.
symbols=$(grep -c '^<symbol id="picture' "$tmp/hour.html")
distinct=$(grep '^<symbol id="picture' "$tmp/hour.html" | sed 's/^<symbol id="picture[0-9]*"//' | sort -u | wc -l)
used=$(grep -o '<use href="#picture[0-9]*"/>' "$tmp/hour.html" | sort -u | wc -l)
[ "$symbols" = "$distinct" ] || bad "hour: $symbols pictures drawn but only $distinct distinct"
[ "$symbols" = "$used" ] || bad "hour: $symbols pictures drawn, $used used"
# The folder: one file a step, identical pictures one file under several names.
files=$(ls "$tmp/hour-svg" | wc -l)
[ "$files" = 42 ] || bad "hour: $files SVG files, wanted 42"
inodes=$(ls -i "$tmp/hour-svg" | awk '{print $1}' | sort -u | wc -l)
contents=$(md5sum "$tmp/hour-svg"/*.svg | awk '{print $1}' | sort -u | wc -l)
[ "$inodes" = "$contents" ] || bad "hour: $inodes files on disk for $contents distinct pictures"
# The pictures change nothing of the trace.
"$replay" "$tmp/hour.scn" | cmp -s - "$tmp/hour.trace" || bad "hour: the trace differs with pictures"

# --- A reused --svg folder -------------------------------------------------------------------
# The frames of an earlier, longer run go; a file of the user's stays.
mkdir "$tmp/reused"
for n in 0001 0002 0003 0004 0009 12345; do echo old >"$tmp/reused/$n.svg"; done
echo mine >"$tmp/reused/notes.txt"
printf 'event 1 NavHome\ntick\n' | "$replay" --svg "$tmp/reused" >/dev/null || bad "reused: failed"
[ "$(ls "$tmp/reused" | tr '\n' ' ')" = "0001.svg 0002.svg notes.txt " ] ||
  bad "reused folder holds: $(ls "$tmp/reused" | tr '\n' ' ')"
grep -q '<svg' "$tmp/reused/0002.svg" || bad "reused: 0002.svg is not this run's"

# --- A page that cannot be written: its reason ---------------------------------------------
for target in "$tmp/missing/page.html|No such file or directory" "$tmp|Is a directory"; do
  path=${target%|*} reason=${target#*|}
  printf 'event 1 NavHome\n' | "$replay" --html "$path" >/dev/null 2>"$tmp/html.err"
  status=$?
  [ "$status" = 1 ] || bad "unwritable page $path: status $status, wanted 1"
  [ "$(cat "$tmp/html.err")" = "lumora-replay: cannot write $path: $reason" ] ||
    bad "unwritable page $path: $(cat "$tmp/html.err")"
done

# --- Standard input on a terminal: say that the scenario is awaited ----------------------------
note="lumora-replay: reading the scenario from standard input"
if command -v script >/dev/null 2>&1; then
  # A terminal that ends at once (Ctrl-D): the note, then the trace of an empty scenario.
  timeout 20 script -qec "$replay" /dev/null </dev/null >"$tmp/tty.out" 2>&1
  grep -qF "$note" "$tmp/tty.out" || bad "terminal: no note that standard input is read"
  grep -q '^close' "$tmp/tty.out" || bad "terminal: the empty scenario did not run"
  timeout 20 script -qec "$replay --trace" /dev/null </dev/null >"$tmp/tty.out" 2>&1
  grep -qF "lumora-replay: reading the trace from standard input" "$tmp/tty.out" ||
    bad "terminal: no note that the trace is read from standard input"
else
  echo "note: script (util-linux) is missing; the terminal case is not checked"
fi
# From a pipe or a file nothing is said.
printf 'event 1 NavHome\n' | "$replay" >/dev/null 2>"$tmp/pipe.err"
[ -s "$tmp/pipe.err" ] && bad "a pipe got a note: $(cat "$tmp/pipe.err")"

[ $fail = 0 ] && echo "lumora-replay pictures: all checks passed"
exit $fail
