#!/usr/bin/env bash
# scripts/lumora.sh in a tree of its own, with stand-ins for CMake and the install of packages:
# the first run builds ("Building lumora ...") and runs the program; a run with nothing changed
# since says nothing, asks neither the packages nor CMake, and runs the program well under a
# second; a source changed since the last build builds again.
#
#   lumora_script_test.sh SOURCE_DIR
set -u
source_dir=$1
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

top=$tmp/top
mkdir -p "$top/scripts" "$top/app" "$tmp/bin"
cp "$source_dir/scripts/lumora.sh" "$source_dir/scripts/lib.sh" "$top/scripts/"
echo 'int main() {}' >"$top/app/main.cpp"
# The install of packages and CMake note each call; CMake's build makes the program.
cat >"$top/scripts/install-deps.sh" <<EOF
#!/usr/bin/env bash
echo "install-deps \$*" >>"$tmp/calls"
EOF
cat >"$tmp/bin/cmake" <<EOF
#!/usr/bin/env bash
echo "cmake \$*" >>"$tmp/calls"
if [ "\$1" = --build ]; then
  mkdir -p "$top/build/default/bin"
  printf '#!/bin/sh\necho "lumora \$*"\n' >"$top/build/default/bin/lumora"
  chmod +x "$top/build/default/bin/lumora"
fi
EOF
chmod +x "$top/scripts/install-deps.sh" "$tmp/bin/cmake"

# run NAME: scripts/lumora.sh --version, its output, standard error, calls and time in NAME.*
run() {
  rm -f "$tmp/calls"
  local started
  started=$(date +%s%N)
  PATH=$tmp/bin:$PATH "$top/scripts/lumora.sh" --version >"$tmp/$1.out" 2>"$tmp/$1.err"
  echo "$? $((($(date +%s%N) - started) / 1000000))" >"$tmp/$1.status"
  touch "$tmp/calls"
  cp "$tmp/calls" "$tmp/$1.calls"
}

run first
[ "$(cat "$tmp/first.out")" = "lumora --version" ] && [ "$(cat "$tmp/first.err")" = "Building lumora ..." ] &&
  grep -q '^cmake --build' "$tmp/first.calls" ||
  { echo "FAIL: the first run did not build and run:"; cat "$tmp/first.err" "$tmp/first.calls"; fail=1; }

run again
read -r status ms <"$tmp/again.status"
if [ "$status" != 0 ] || [ "$(cat "$tmp/again.out")" != "lumora --version" ] || [ -s "$tmp/again.err" ] ||
  [ -s "$tmp/again.calls" ] || [ "$ms" -ge 500 ]; then
  echo "FAIL: with nothing changed: status $status after $ms ms, standard error and calls:"
  cat "$tmp/again.err" "$tmp/again.calls"
  fail=1
fi

sleep 0.01
touch "$top/app/main.cpp"
run changed
grep -q '^cmake --build' "$tmp/changed.calls" && [ "$(cat "$tmp/changed.err")" = "Building lumora ..." ] ||
  { echo "FAIL: a changed source was not built:"; cat "$tmp/changed.err" "$tmp/changed.calls"; fail=1; }
run after
[ -s "$tmp/after.err" ] || [ -s "$tmp/after.calls" ] &&
  { echo "FAIL: the run after the build built again:"; cat "$tmp/after.err" "$tmp/after.calls"; fail=1; }

[ $fail = 0 ] && echo "scripts/lumora.sh: builds when a source changed, else quiet and at once (${ms} ms)"
exit $fail
