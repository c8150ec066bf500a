# Shared by the Wine tests (sourced): stopping what a test started, the locked cross build of a
# preset, a virtual display with a new Wine prefix, and a test's say, fail and skip. The
# including script sets TEST_NAME before it, and WINE and WINESERVER (the loader of its
# architecture and its wineserver) for a prefix.
#
# State, for cleanup: TMP (the test's temporary folder, its logs *.log), XVFB_PID, AGENT_PID.
TMP=
XVFB_PID=
AGENT_PID=

# A test's lines, each starting with its label (TEST_LABEL, else TEST_NAME): progress on standard
# output, a failure (status 1) or a skip (status 77, a tool missing) on standard error. A test
# that says more on a failure defines its own fail after sourcing this file.
say() { echo "${TEST_LABEL:-$TEST_NAME}: [${SECONDS}s] $*"; }
fail() {
  echo "${TEST_LABEL:-$TEST_NAME}: FAIL: $*" >&2
  exit 1
}
skip() {
  echo "${TEST_LABEL:-$TEST_NAME}: SKIPPED: $*" >&2
  exit 77
}

# The 32-bit Wine loader; LUMORA_WINE32 names a stand-in in its place (the skip test's own).
WINE32=${LUMORA_WINE32:-/usr/lib/wine/wine}

# wine_need_32bit: the test is skipped, with the reason, on a machine that runs no 32-bit
# programs: some kernels refuse them ("Exec format error"), and no package can give them one.
wine_need_32bit() {
  local said
  said=$("$WINE32" --version 2>&1 >/dev/null) ||
    skip "this machine runs no 32-bit programs: $WINE32 --version failed ($(head -n 1 <<<"${said:-no output}"))"
}

# wine_need_installers: what building and running both architectures' installers takes (both
# Wine loaders, Xvfb, makensis, both mingw-w64 compilers), or the test is skipped naming the
# package.
wine_need_installers() {
  local tool
  for tool in /usr/lib/wine/wine64:wine64 /usr/lib/wine/wine:wine32:i386 Xvfb:xvfb makensis:nsis \
    x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix \
    i686-w64-mingw32-g++-posix:g++-mingw-w64-i686-posix; do
    command -v "${tool%%:*}" >/dev/null ||
      skip "${tool%%:*} is missing: install the Debian package ${tool#*:} (scripts/install-deps.sh)"
  done
}

# wine_need_arch ARCH: for x86, wine_need_32bit.
wine_need_arch() {
  [[ $1 == x86 ]] || return 0
  wine_need_32bit
}

# Stops everything the test started, by its process id, and Wine by its prefix; shows the last
# lines of the logs when the test failed; keeps TMP when LUMORA_WINE_KEEP=1.
wine_cleanup() {
  local status=$?
  if [[ -n $AGENT_PID ]] && kill -0 "$AGENT_PID" 2>/dev/null; then
    kill "$AGENT_PID" 2>/dev/null || true
  fi
  if [[ -n $TMP && -d $TMP/prefix ]]; then
    WINEPREFIX=$TMP/prefix timeout 30 "$WINESERVER" -k 2>/dev/null || true
  fi
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  if [[ -n $TMP ]]; then
    if ((status != 0)); then
      local log
      for log in "$TMP"/*.log; do
        [[ -s $log ]] || continue
        echo "--- $(basename "$log") (last lines)" >&2
        tail -n 20 "$log" >&2
      done
    fi
    if [[ ${LUMORA_WINE_KEEP:-} == 1 ]]; then
      echo "$TEST_NAME: kept $TMP" >&2
    else
      rm -rf "$TMP"
    fi
  fi
  exit "$status"
}

# windows_build SOURCE_DIR ARCH: the cross build folder of an architecture (x64, x86). CTest gives
# each test the folder of the build it runs in (LUMORA_WINDOWS_BUILDS, under that build's own
# folder); run by hand, a test uses the presets' own folders under SOURCE_DIR/build.
windows_build() {
  echo "${LUMORA_WINDOWS_BUILDS:-$1/build}/mingw-$2"
}

# wine_build SOURCE_DIR PRESET FOLDER LOG TARGET...: builds targets of a preset into FOLDER, one
# build at a time in each folder. Configured every time (quick once done), so that a target added
# since the last run is known.
wine_build() {
  local source_dir=$1 preset=$2 folder=$3 log=$4 lock
  shift 4
  mkdir -p "$folder"
  exec {lock}>"$folder/wine_e2e.lock"
  flock -w 600 "$lock" || fail "another build of $folder did not finish within 600 s"
  (cd "$source_dir" && timeout 300 cmake --preset "$preset" -B "$folder" >"$folder/configure.log" 2>&1) ||
    fail "configuring the $preset preset failed (see $folder/configure.log)"
  timeout 900 cmake --build "$folder" --parallel 2 --target "$@" >"$folder/$log" 2>&1 ||
    fail "building $* of the $preset preset failed (see $folder/$log)"
  flock -u "$lock"
  exec {lock}>&-
}

# wine_start: a virtual display (Xvfb) and a new Wine prefix in TMP (made here), exported for
# every later Wine command. The display is set before the prefix's first Wine command.
wine_start() {
  TMP=$(mktemp -d "/tmp/lumora-$TEST_NAME.XXXXXX")
  mkdir -p "$TMP/home"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
  XVFB_PID=$!
  local i
  for ((i = 0; i < 100; ++i)); do
    [[ -s $TMP/display ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
  done
  [[ -s $TMP/display ]] || fail "Xvfb gave no display number within 10 s"
  DISPLAY=:$(head -n 1 "$TMP/display")
  export DISPLAY
  export WINEPREFIX=$TMP/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$TMP/home
  if ! timeout 120 "$WINE" wineboot -i >"$TMP/wineboot.log" 2>&1; then
    # A kernel that runs 32-bit Linux programs only through an emulator starts Wine's 32-bit
    # loader but not a Windows program in it.
    [[ ${WINEARCH:-} == win32 ]] &&
      grep -q "failed to map the shared user data\|Exec format error" "$TMP/wineboot.log" &&
      skip "this machine runs no 32-bit Windows programs under Wine: $(head -n 1 "$TMP/wineboot.log")"
    fail "wineboot did not prepare the prefix within 120 s"
  fi
}
