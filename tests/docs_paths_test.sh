#!/usr/bin/env bash
# The documents that describe the project's layout name only paths that exist: every path of the
# repository written in backticks in README.md and docs/architecture.md (a word that starts with
# one of the project's top folders) is a file or folder of the tree; and they name every folder.
#
#   docs_paths_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
tops=$(find . -mindepth 1 -maxdepth 1 -type d ! -name '.*' ! -name build -printf '%f\n' | paste -sd'|')
fail=0
for document in README.md docs/architecture.md; do
  # Each backticked word; a path ends at a blank, a colon or a bracket.
  while IFS= read -r path; do
    [[ -e $path ]] || { echo "FAIL: $document names $path, which does not exist"; fail=1; }
  done < <(grep -o '`[^`]*`' "$document" | tr -d '`' | tr ' (:' '\n\n\n' |
    grep -E "^($tops)/[A-Za-z0-9_./-]*$" | grep -v '\*' | sed 's/[.,;]$//' | sort -u)
done
# Every folder of the project has its row in the README's table of folders (Layout), and every
# folder that builds something (a CMakeLists.txt outside tests/) is named in the README.
table=$(grep '^| `' README.md)
for top in ${tops//|/ }; do
  grep -qF "\`$top/\`" <<<"$table" || { echo "FAIL: the README's table of folders has no row for $top/"; fail=1; }
done
while IFS= read -r folder; do
  grep -qF "\`$folder/\`" README.md || { echo "FAIL: README.md does not name the folder $folder/"; fail=1; }
done < <(find . -name CMakeLists.txt ! -path './tests/*' ! -path './build/*' ! -path './.*' -printf '%h\n' |
  sed 's|^\./||' | grep -v '^\.$' | sort -u)
[ $fail = 0 ] && echo "README.md and docs/architecture.md name only paths that exist, and every folder"

exit $fail
