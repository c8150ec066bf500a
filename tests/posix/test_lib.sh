# Shared by the Linux host's shell tests (sourced): a temporary folder of the test's own, which is
# also its TMPDIR and, with XDG_RUNTIME_DIR empty, where the agents it starts put their sockets;
# the agent it started (its process id in agent) stopped and the folder removed however the test
# ends; fail set to 0 for the test's checks.
#
#   posix_test_start NAME
posix_test_start() {
  tmp=$(mktemp -d "/tmp/lumora-$1-XXXXXX")
  agent=
  fail=0
  trap posix_test_cleanup EXIT
  export TMPDIR=$tmp XDG_RUNTIME_DIR=
}

posix_test_cleanup() {
  [ -n "$agent" ] && kill "$agent" 2>/dev/null
  rm -rf "$tmp"
}

# verify_unit UNIT MANPATH: systemd-analyze verify on an installed unit, its documentation
# (man:lumora(1)) looked up in the installed pages of MANPATH; any warning counts as a failure,
# since systemd-analyze only warns about unknown keys. Prints what it said and returns 1 then.
verify_unit() {
  local out status
  out=$(MANPATH=$2 systemd-analyze verify "$1" 2>&1)
  status=$?
  if [ $status != 0 ] || [ -n "$out" ]; then
    printf '%s\n' "$out"
    echo "FAIL: systemd-analyze verify $1 (status $status)"
    return 1
  fi
}
