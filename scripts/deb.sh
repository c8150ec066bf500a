#!/usr/bin/env bash
# The Debian package of the Linux programs, as released (scripts/release.sh runs it beside the
# Windows archive): builds the deb preset (RelWithDebInfo, with Debian's build flags from
# dpkg-buildflags and every hardening feature) in build/deb, or in LUMORA_DEB_BUILD when set;
# packs it with CPack (dist/deb/package.cmake) into OUT_DIR/lumora_VERSION_ARCH.deb (OUT_DIR
# defaults to build/release); then checks the package as the tests do (tests/posix/deb_test.sh):
# lintian, its files against the install tree, and installed, run, upgraded and purged in a
# root of its own.
# Installs what building and checking it needs first, as root (scripts/lib.sh: BUILD_PACKAGES,
# DEB_PACKAGES); otherwise names what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need_packages "${BUILD_PACKAGES[@]}" "${DEB_PACKAGES[@]}"
OUT_DIR=${1:-build/release}
BUILD=${LUMORA_DEB_BUILD:-build/deb}
mkdir -p "$OUT_DIR"
OUT_DIR=$(cd "$OUT_DIR" && pwd)

# Debian's flags for a package built here: fortified functions, stack protector, read-only
# relocations bound at start (hardening=+all). CMake takes the preprocessor's with the compiler's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake --preset deb -B "$BUILD" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$BUILD" --parallel "$(nproc)" >/dev/null

# CPack works in a folder of its own under OUT_DIR, then leaves the package beside the Windows
# archive (a package of an earlier version there is removed).
work=$OUT_DIR/deb-work
rm -rf "$work" "$OUT_DIR"/lumora_*.deb
cpack --config "$BUILD/CPackConfig.cmake" -B "$work" >"$OUT_DIR/deb.log" 2>&1 ||
  { cat "$OUT_DIR/deb.log"; exit 1; }
mv "$work"/lumora_*.deb "$OUT_DIR/"
rm -rf "$work" "$OUT_DIR/deb.log"
deb=$(ls "$OUT_DIR"/lumora_*.deb)

for check in lintian contents install; do
  bash tests/posix/deb_test.sh "$check" "$BUILD" "$PWD" "$deb" >"$OUT_DIR/deb-$check.log" 2>&1 ||
    { cat "$OUT_DIR/deb-$check.log"; echo "the package fails its $check check" >&2; exit 1; }
  rm -f "$OUT_DIR/deb-$check.log"
done
echo "$deb"
