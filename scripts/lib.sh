# Shared by the project's scripts: the packages a fresh Debian 12 machine needs, installed when
# missing (as root with apt-get; otherwise a clear message), and the build of a preset.

# need_packages PKG...: installs the Debian packages that are not installed yet.
need_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "Installing ${missing[*]} ..."
  if [ -z "${LUMORA_APT_UPDATED:-}" ]; then
    apt-get update -qq || return 1
    export LUMORA_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The packages that building and testing the Linux programs needs.
BUILD_PACKAGES=(cmake make g++ googletest libgtest-dev libbenchmark-dev)

# build_preset NAME: configures and builds one CMake preset.
build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$(nproc)"
}
