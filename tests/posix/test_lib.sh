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
