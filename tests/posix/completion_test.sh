#!/usr/bin/env bash
# The shell completions of lumora (dist/completion/), as installed by cmake --install.
#
#   completion_test.sh BIN_DIR BUILD_DIR bash   the bash completion: the commands, each
#                                               command's options against its --help, the
#                                               event and power names
#   completion_test.sh BIN_DIR BUILD_DIR zsh    the same words from the zsh completion in a
#                                               real interactive zsh (skipped without zsh)
set -u
bin=$1
build=$2
shell=$3
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C

if [ "$shell" = zsh ] && ! command -v zsh >/dev/null; then
  echo "SKIP: zsh is missing (Debian package zsh)"
  exit 77
fi
cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
bash_script=$tmp/prefix/share/bash-completion/completions/lumora
zsh_script=$tmp/prefix/share/zsh/vendor-completions/_lumora
[ -f "$bash_script" ] || { echo "FAIL: share/bash-completion/completions/lumora not installed"; exit 1; }
[ -f "$zsh_script" ] || { echo "FAIL: share/zsh/vendor-completions/_lumora not installed"; exit 1; }

# The options a command's --help lists: the words that begin its option lines.
help_options() {
  "$bin/lumora" "$@" --help | sed -n 's/^  \(-[a-z]\), \(--[a-z-]*\).*/\1\n\2/p; s/^  \(--[a-z][a-z-]*\).*/\1/p' |
    sort -u | tr '\n' ' '
}

# completions LINE: what the shell offers for the last word of LINE (a trailing blank: a new
# word), one a line, sorted.
if [ "$shell" = bash ]; then
  completions() {
    bash --norc --noprofile -c '
      source "$1"
      read -ra COMP_WORDS <<<"$2"
      [ "${2: -1}" = " " ] && COMP_WORDS+=("")
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      _lumora
      printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_script" "$1" | sed '/^$/d' | sort
  }
else
  # A real interactive zsh on a pseudo terminal (zsh/zpty), the completion loaded by compinit
  # from the installed folder, each line's completions listed by the list-choices widget. One
  # shell for every case: the lines are collected by expect and completed at the end.
  completions() { printf '%s\n' "$1" >>"$tmp/zsh.lines"; }
  zsh_run() {
    ZDOTDIR=$tmp zsh -f -c '
      zmodload zsh/zpty
      zpty -b z zsh -f -i
      zpty -w z "PS1=; unsetopt zle_bracketed_paste; fpath=($1 \$fpath); autoload -Uz compinit; compinit -u -D"
      zpty -w z "zstyle \":completion:*\" format \"\"; setopt listrowsfirst; LISTMAX=0"
      zpty -w z "bindkey \"^T\" list-choices; echo ready\$((6*7))"
      zpty -r -m z line "*ready42*"
      n=0
      while IFS= read -r text; do
        n=$((n + 1))
        zpty -n -w z "$text"$'"'"'\x14'"'"'
        out=
        sleep 0.3
        while zpty -r -t z chunk; do out+=$chunk; sleep 0.05; done
        print -r -- "$out" >"$2.$n"
        zpty -n -w z $'"'"'\x15'"'"'
        sleep 0.1
        while zpty -r -t z chunk; do :; done
      done <"$2"' _ "${zsh_script%/*}" "$tmp/zsh.lines"
  }
  zsh_words() {
    tr '\r' '\n' <"$1" | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -s ' \t' '\n\n' |
      grep -E '^-{1,2}[a-z]|^[A-Za-z]' | sort -u
  }
fi

# expect NAME LINE WORD...: completing LINE offers exactly the WORDs (for zsh: at least them,
# since its listing shows them among its own lines).
cases=0
expect() {
  local name=$1 line=$2
  shift 2
  cases=$((cases + 1))
  : >"$tmp/want.$cases"
  [ $# = 0 ] || printf '%s\n' "$@" | sort -u >"$tmp/want.$cases"
  printf '%s\n' "$name" >"$tmp/name.$cases"
  printf '%s\n' "$line" >"$tmp/line.$cases"
  if [ "$shell" = bash ]; then
    completions "$line" >"$tmp/got.$cases"
  else
    completions "$line"
  fi
}
# Compares what each case got with what it wanted.
judge() {
  local i name line missing
  for i in $(seq 1 $cases); do
    name=$(cat "$tmp/name.$i")
    line=$(cat "$tmp/line.$i")
    if [ "$shell" = bash ]; then
      cmp -s "$tmp/want.$i" "$tmp/got.$i" ||
        { echo "FAIL: $name: '$line' offers:"; cat "$tmp/got.$i"; echo "wanted:"; cat "$tmp/want.$i"; fail=1; }
    else
      zsh_words "$tmp/zsh.lines.$i" >"$tmp/got.$i"
      missing=$(comm -23 "$tmp/want.$i" "$tmp/got.$i")
      [ -z "$missing" ] || { echo "FAIL: $name: '$line' does not offer:" $missing; fail=1; }
    fi
  done
}

# The hand-written cases: a name completed whole, in any case; the names of a prefix; the
# values of an option.
expect "event name" "lumora send 1 NavH" NavHome
expect "event name after --socket and --strict" "lumora send --socket s --strict 7 LiveT" LiveTvStarted
expect "power names" "lumora send --power resume" resume resume-automatic resume-critical
expect "run's faces" "lumora run --panel " term plain none lcdproc
if [ "$shell" = bash ]; then
  expect "event name in lower case" "lumora send 1 navh" NavHome
  expect "no name for the session id" "lumora send NavH"
  expect "no name for the text" "lumora send 1 NavHome Nav"
  expect "demo's faces" "lumora demo --panel " term plain none
fi
expect "commands" "lumora " run send status demo follow kodi mpris
expect "the program's options" "lumora -" --help --version
# Every option of every command, as its --help lists it.
for command in run send status demo follow kodi mpris; do
  # shellcheck disable=SC2046
  expect "options of $command" "lumora $command -" $(help_options "$command")
done
# Every event and power name of the catalogue, as lumora send --list and --help name them.
# shellcheck disable=SC2046
expect "every event" "lumora send 1 " $("$bin/lumora" send --list | awk 'NR > 1 { print $2 }')
# shellcheck disable=SC2046
expect "every power name" "lumora send --power " $("$bin/lumora" send --help |
  sed -n 's/^ *\([a-z-]*\) *[0-9][0-9]*  .*/\1/p')

[ "$shell" = zsh ] && zsh_run
judge
[ $fail = 0 ] && echo "$shell completion: every case"
exit $fail
