#!/usr/bin/env bash
# clang-tidy over every C++ source of the project that the build compiles, with the checks of
# .clang-tidy (headers through the sources that include them). Any warning fails it.
#
#   scripts/clang_tidy.sh [BUILD_DIR]    a configured build with compile_commands.json
#                                        (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/default}
if ! command -v run-clang-tidy >/dev/null || ! command -v clang-tidy >/dev/null; then
  echo "clang-tidy is missing: install the Debian package clang-tidy (scripts/install-deps.sh)" >&2
  exit 1
fi
if [ ! -f "$build_dir/compile_commands.json" ]; then
  echo "$build_dir/compile_commands.json is missing: configure the preset first" >&2
  exit 1
fi
root=$(pwd)
# The project's own sources: not the build folders' generated files, not fetched code.
mapfile -t files < <(python3 - "$build_dir/compile_commands.json" "$root" <<'PY'
import json, os, sys
root = sys.argv[2]
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    rel = os.path.relpath(path, root)
    if rel.startswith("..") or rel.startswith("build") or "/_deps/" in rel:
        continue
    if rel not in seen:
        seen.add(rel)
        print(path)
PY
)
echo "clang-tidy: ${#files[@]} files"
# run-clang-tidy takes regular expressions: each path quoted as one.
patterns=()
for file in "${files[@]}"; do
  patterns+=("^$(printf '%s' "$file" | sed 's/[.[\*^$()+?{|]/\\&/g')\$")
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! run-clang-tidy -p "$build_dir" -j "$(nproc)" -quiet "${patterns[@]}" >"$log" 2>&1; then
  grep -E "(warning|error):" "$log" >&2 || cat "$log" >&2
  echo "clang-tidy: the findings above fail the check" >&2
  exit 1
fi
echo "clang-tidy: no findings"
