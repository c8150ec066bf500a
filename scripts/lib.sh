# Shared by the project's scripts: the packages each job needs, installed once and up front (as
# root with apt-get; otherwise a clear message), and the build of a preset.

# The packages that building and testing the Linux programs needs (sd-bus of libsystemd for the
# system and session buses, found through pkg-config; toml++ for the configuration file;
# /usr/bin/time for the peak memory of a long replay).
BUILD_PACKAGES=(cmake make g++ googletest libgtest-dev libbenchmark-dev nlohmann-json3-dev pkgconf
  libsystemd-dev libtomlplusplus-dev time)
# The short fuzzing run: clang and libFuzzer's runtime.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The static checks of scripts/clang_tidy.sh.
LINT_PACKAGES=(clang-tidy)
# The Windows programs (both architectures), their installers, and running them under Wine on a
# virtual display, with screenshots compared by ImageMagick; a console on a terminal of its own
# (script of bsdutils).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
  xvfb x11-utils x11-apps nsis imagemagick bsdutils)
# The pages in a real browser, the terminal faces under tmux, the man pages, the service unit,
# LCDd (lcdproc), the display server the panel is shown on in the live tests; the pictures drawn
# by librsvg (rsvg-convert), measured with ImageMagick; and zsh, whose completion of lumora is
# tested in a real interactive shell.
DESKTOP_PACKAGES=(chromium tmux man-db bsdextrautils systemd lcdproc librsvg2-bin imagemagick zsh)
# The Debian package (scripts/deb.sh, the posix.deb_* tests): dpkg-shlibdeps and file for
# CPack's dependencies, lintian; systemd-analyze and man for the installed units.
DEB_PACKAGES=(dpkg-dev file lintian systemd man-db)
# The players the bridges follow, run for real in the tests: Kodi under a virtual display with a
# PulseAudio null sink for a real-time clock, tagged songs made by ffmpeg; mpv with its MPRIS
# plug-in on a private session bus, driven by playerctl; VLC without its graphical interface (the
# player, its D-Bus control and its audio outputs, the silent one among them) and Firefox ESR,
# the desktop players followed beside mpv and Chromium; and a private system bus for the login
# manager's sleep and wake.
PLAYER_PACKAGES=(kodi xvfb pulseaudio ffmpeg python3 dbus mpv mpv-mpris playerctl vlc-bin
  vlc-plugin-base firefox-esr)
# The browser tests run on Node.js. Debian's nodejs; npm only where the npm command is missing
# (a nodejs that bundles npm conflicts with Debian's npm package).
BROWSER_PACKAGES=(nodejs)
command -v npm >/dev/null 2>&1 || BROWSER_PACKAGES+=(npm)

# missing_packages PKG...: prints the packages that are not installed yet, one a line.
missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      echo "$pkg"
  done
}

# need_packages PKG...: installs the Debian packages that are not installed yet, in one
# apt-get run. Returns 1 when some are missing and cannot be installed (not root).
need_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo scripts/install-deps.sh (or sudo apt-get install ${missing[*]})" >&2
    return 1
  fi
  # 32-bit Windows programs run on Wine's i386 packages.
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    LUMORA_APT_UPDATED=
  fi
  echo "Installing ${missing[*]} ..."
  if [ -z "${LUMORA_APT_UPDATED:-}" ]; then
    apt-get update -qq || return 1
    export LUMORA_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# need_node_modules: the browser tests' npm packages (tests/browser/package-lock.json), installed
# with npm ci from the lock file when they are missing.
need_node_modules() {
  local dir=tests/browser
  [ -f "$dir/package-lock.json" ] || return 0
  [ -d "$dir/node_modules" ] && return 0
  if ! command -v npm >/dev/null 2>&1; then
    echo "npm is missing: install Node.js and npm to run the browser tests" >&2
    return 1
  fi
  echo "Installing the browser tests' npm packages ..."
  npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
}

# build_preset NAME [TARGET...]: configures one CMake preset and builds the targets (all when none
# is given).
build_preset() {
  local preset=$1
  shift
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]}"
}

# skipping_nothing CMD...: runs a test command (ctest) with its output shown, and fails when it
# passed but skipped a test: on a machine where scripts/install-deps.sh ran, every tool a test
# needs is there, so a skipped test is a missing install, not a pass.
skipping_nothing() {
  local log status=0
  log=$(mktemp)
  # The command's own status, whether or not the caller set pipefail or errexit.
  { "$@" | tee "$log"; status=${PIPESTATUS[0]}; } || :
  if [ "$status" -eq 0 ] && grep -q '^The following tests did not run:' "$log"; then
    echo "Tests were skipped although every package was installed: see the list above." >&2
    status=1
  fi
  rm -f "$log"
  return "$status"
}
