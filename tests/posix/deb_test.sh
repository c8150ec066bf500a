#!/usr/bin/env bash
# The Debian package (dist/deb/), as scripts/deb.sh releases it and as CPack makes it from a
# build. Nothing is installed on the machine that runs it and nothing is downloaded: the package
# goes into a root of the test's own, with a dpkg database the test makes.
#
#   deb_test.sh MODE BUILD_DIR SOURCE_DIR [DEB]
#
# DEB is the package to check; without it, the test packs BUILD_DIR with cpack into a folder of
# its own first. MODE:
#   lintian    lintian on the package: no error and no warning (the notes at info level shown)
#   contents   `dpkg-deb -c` against the install tree (`cmake --install` of BUILD_DIR with the
#              prefix /usr into a folder): the same files with the same modes, every one owned
#              by root, the programs stripped (the same build ID), the pages compressed, and
#              only the package's own files beside them (/etc/lumora.conf, the copyright and the
#              changelog, each its source's); the control fields: the project's version,
#              dpkg-shlibdeps's dependencies, /etc/lumora.conf a conffile, no maintainer script
#   install    in the root: install; the installed lumora --version, lumora demo --fast --panel
#              plain, lumora run (the unit's command) with lumora send and lumora status and the
#              root's /etc/lumora.conf; systemd-analyze verify on every installed unit; nothing
#              enabled; a higher version over it with the administrator's /etc/lumora.conf kept
#              (the package's file unchanged, then changed: --force-confold); purge, and the
#              root's files are those before the install. Then apt-get resolves the package's
#              dependencies from the package lists of this machine (Debian 12) for a machine with
#              nothing installed (apt-get install --simulate against an empty status).
#
# Exit status 77 (skipped) when a tool is missing, with the Debian package that has it.
set -u
mode=$1
build=$(cd "$2" && pwd)
source_dir=$(cd "$3" && pwd)
deb=${4:-}
. "$(dirname "$0")/test_lib.sh"

# need COMMAND:PACKAGE...: skipped without each command.
need() {
  local tool
  for tool in "$@"; do
    command -v "${tool%%:*}" >/dev/null || {
      echo "SKIP: ${tool%%:*} is missing (Debian package ${tool#*:})"
      exit 77
    }
  done
}
need cpack:cmake dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev file:file objcopy:binutils gzip:gzip
case $mode in
  lintian) need lintian:lintian ;;
  contents) need readelf:binutils ;;
  install) need systemd-analyze:systemd man:man-db apt-get:apt ;;
  *) echo "usage: deb_test.sh lintian|contents|install BUILD_DIR SOURCE_DIR [DEB]" >&2; exit 2 ;;
esac

posix_test_start "deb-$mode"
version=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")

# pack OUT_DIR [VERSION CHANGELOG SYSTEM_CONFIG]: cpack of the build into OUT_DIR, by default as
# configured; with a version, the changelog whose first entry it is and the system file to ship.
# Prints the package's path.
pack() {
  local out=$1
  local options=()
  [ $# -gt 1 ] && options=(-D "CPACK_PACKAGE_VERSION=$2" -D "CPACK_LUMORA_CHANGELOG=$3"
    -D "CPACK_LUMORA_SYSTEM_CONFIG=$4")
  cpack --config "$build/CPackConfig.cmake" -B "$out" "${options[@]}" >"$out.log" 2>&1 ||
    { cat "$out.log" >&2; echo "FAIL: cpack ${options[*]}" >&2; return 1; }
  ls "$out"/lumora_*.deb
}
if [ -z "$deb" ]; then
  deb=$(pack "$tmp/package") || exit 1
fi
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
echo "checking $deb"

# --- lintian -------------------------------------------------------------------------------
if [ "$mode" = lintian ]; then
  # As root lintian says it would rather not be; that note is not the package's.
  lintian --fail-on error,warning --display-info "$deb" 2>&1 |
    grep -v '^running with root privileges is not recommended!$'
  status=${PIPESTATUS[0]}
  [ "$status" = 0 ] || { echo "FAIL: lintian found errors or warnings (status $status)"; exit 1; }
  echo "lintian: no error and no warning"
  exit 0
fi

# --- contents ------------------------------------------------------------------------------
if [ "$mode" = contents ]; then
  tree=$tmp/tree
  DESTDIR=$tree cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; echo "FAIL: cmake --install"; exit 1; }
  dpkg-deb -c "$deb" >"$tmp/listing" || { echo "FAIL: dpkg-deb -c"; exit 1; }
  dpkg-deb -x "$deb" "$tmp/package" || { echo "FAIL: dpkg-deb -x"; exit 1; }

  # Every entry owned by root; the files by mode and path (a link would show as l...).
  awk '$2 != "root/root" { print "FAIL: not owned by root: " $0 }' "$tmp/listing" | grep . && fail=1
  awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $1, $6 }' "$tmp/listing" | LC_ALL=C sort >"$tmp/have"
  # The install tree's files, the pages compressed, and the package's own files.
  {
    (cd "$tree" && find . ! -type d -printf '%M %P\n') | sed -E 's|^(.*usr/share/man/.*)$|\1.gz|'
    printf '%s\n' "-rw-r--r-- etc/lumora.conf" "-rw-r--r-- usr/share/doc/lumora/copyright" \
      "-rw-r--r-- usr/share/doc/lumora/changelog.gz"
  } | LC_ALL=C sort >"$tmp/want"
  diff "$tmp/want" "$tmp/have" >"$tmp/diff" ||
    { echo "FAIL: the package's files (>) are not the install tree's (<):"; cat "$tmp/diff"; fail=1; }
  # No folder without a file of the package in it.
  awk '$1 ~ /^d/ { sub(/^\.\//, "", $6); sub(/\/$/, "", $6); if ($6 != "" && $6 != ".") print $6 }' \
    "$tmp/listing" | while read -r folder; do
    grep -qF " $folder/" "$tmp/have" || echo "FAIL: an empty folder: $folder"
  done | grep . && fail=1

  # The contents: the install tree's, the programs stripped, the pages compressed.
  while read -r _ path; do
    file=$tmp/package/$path
    case $path in
      usr/bin/*)
        readelf -S "$file" | grep -qE '\.(symtab|debug_info|comment)' &&
          { echo "FAIL: $path is not stripped"; fail=1; }
        [ "$(readelf -n "$file" | grep 'Build ID')" = "$(readelf -n "$tree/$path" | grep 'Build ID')" ] ||
          { echo "FAIL: $path is not the built program (another build ID)"; fail=1; } ;;
      usr/share/man/*) zcat "$file" | cmp -s - "$tree/${path%.gz}" ||
        { echo "FAIL: $path is not the installed page"; fail=1; } ;;
      etc/lumora.conf) cmp -s "$file" "$source_dir/dist/lumora.conf" ||
        { echo "FAIL: $path is not dist/lumora.conf"; fail=1; } ;;
      usr/share/doc/lumora/copyright) cmp -s "$file" "$source_dir/dist/deb/copyright" ||
        { echo "FAIL: $path is not dist/deb/copyright"; fail=1; } ;;
      usr/share/doc/lumora/changelog.gz) zcat "$file" | cmp -s - "$source_dir/dist/deb/changelog" ||
        { echo "FAIL: $path is not dist/deb/changelog"; fail=1; } ;;
      *) cmp -s "$file" "$tree/$path" || { echo "FAIL: $path is not the installed file"; fail=1; } ;;
    esac
  done <"$tmp/have"

  # The control fields and files.
  [ "$(dpkg-deb -f "$deb" Package)" = lumora ] || { echo "FAIL: the package is not lumora"; fail=1; }
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    { echo "FAIL: version $(dpkg-deb -f "$deb" Version), the project's is $version"; fail=1; }
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    { echo "FAIL: architecture $(dpkg-deb -f "$deb" Architecture)"; fail=1; }
  # What dpkg-shlibdeps says the installed programs need, and only that.
  mkdir -p "$tmp/shlibdeps/debian"
  : >"$tmp/shlibdeps/debian/control"
  (cd "$tmp/shlibdeps" && dpkg-shlibdeps -O "$tree/usr/bin/lumora" "$tree/usr/bin/lumora-replay" \
    2>/dev/null) | sed 's/^shlibs:Depends=//' >"$tmp/shlibdeps.out"
  [ -s "$tmp/shlibdeps.out" ] && [ "$(dpkg-deb -f "$deb" Depends)" = "$(cat "$tmp/shlibdeps.out")" ] ||
    { echo "FAIL: Depends: $(dpkg-deb -f "$deb" Depends); dpkg-shlibdeps: $(cat "$tmp/shlibdeps.out")"; fail=1; }
  dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ' >"$tmp/control"
  [ "$(cat "$tmp/control")" = "./conffiles ./control ./md5sums " ] ||
    { echo "FAIL: the control files are $(cat "$tmp/control")(a maintainer script?)"; fail=1; }
  [ "$(dpkg-deb -I "$deb" conffiles)" = /etc/lumora.conf ] ||
    { echo "FAIL: the conffiles are: $(dpkg-deb -I "$deb" conffiles)"; fail=1; }

  [ $fail = 0 ] && echo "the package holds the install tree, its own files, and its control fields"
  exit $fail
fi

# --- install -------------------------------------------------------------------------------
root=$tmp/root
admin=$root/var/lib/dpkg
arch=$(dpkg-deb -f "$deb" Architecture)
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
: >"$admin/status"
# The packages it depends on as this machine has them: their entries in the root's database (not
# their files, which the installed programs take from this machine), so that dpkg checks the
# dependencies as on a machine that has them.
for dependency in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/ //g'); do
  name=$dependency:$arch
  dpkg-query -s "$name" >/dev/null 2>&1 || name=$dependency
  dpkg-query -s "$name" >/dev/null 2>&1 ||
    { echo "FAIL: $dependency, which the package depends on, is not installed here"; exit 1; }
  { dpkg-query -s "$name" | sed '/^Conffiles:/,/^[^ ]/{/^Conffiles:/d; /^ /d}'; echo; } >>"$admin/status"
  : >"$admin/info/$(dpkg-query -W -f='${binary:Package}' "$name").list"
done
# dpkg in the root: its log of its own, every path of the package whatever this machine's dpkg
# configuration leaves out, no question asked.
in_root() {
  dpkg --root="$root" --log="$tmp/dpkg.log" --force-not-root --path-include='*' "$@" </dev/null \
    >>"$tmp/dpkg.out" 2>&1 || { cat "$tmp/dpkg.out"; echo "FAIL: dpkg $*"; return 1; }
}
installed_version() { dpkg-query --admindir="$admin" -W -f='${Version} ${db:Status-Abbrev}' lumora 2>/dev/null; }
files_of_root() { (cd "$root" && find . -path ./var/lib/dpkg -prune -o -print | LC_ALL=C sort); }
files_of_root >"$tmp/before"

in_root -i "$deb" || exit 1
[ "$(installed_version)" = "$version ii " ] || { echo "FAIL: installed: $(installed_version)"; fail=1; }

# Nothing enabled: no maintainer script, no link in a .wants folder, nothing in /etc/systemd.
ls "$admin/info" | grep -E '^lumora\.(preinst|postinst|prerm|postrm|config|triggers)$' &&
  { echo "FAIL: the package has maintainer scripts"; fail=1; }
[ -z "$(cd "$root" && find . -path './etc/systemd*' -o -name '*.wants')" ] ||
  { echo "FAIL: the package enables a unit"; fail=1; }

# The installed programs.
bin=$root/usr/bin
[ "$("$bin/lumora" --version)" = "lumora $version" ] || { echo "FAIL: the installed lumora --version"; fail=1; }
[ "$("$bin/lumora-replay" --version)" = "lumora-replay $version" ] ||
  { echo "FAIL: the installed lumora-replay --version"; fail=1; }
# The demo plays the installed evening (BIN/../share/lumora/evening.scn) to the end: its last
# caption, marked in the root for the run (the file put back after), is the demo's.
evening=$root/usr/share/lumora/evening.scn
cp -p "$evening" "$tmp/evening.scn"
line=$(grep -n '^#> ' "$evening" | tail -n 1 | cut -d: -f1)
caption=$(sed -n "${line}s/^#> //p" "$evening")
sed -i "${line}s/\$/ (installed)/" "$evening"
timeout 120 "$bin/lumora" demo --fast --panel plain >"$tmp/demo.out" 2>"$tmp/demo.err"
status=$?
mv "$tmp/evening.scn" "$evening"
[ $status = 0 ] && grep -qxF "demo: $caption (installed)" "$tmp/demo.out" &&
  [ "$(tail -n 1 "$tmp/demo.out")" = "demo: the evening is over" ] ||
  { echo "FAIL: the installed lumora demo --fast --panel plain (status $status):"; tail "$tmp/demo.out" "$tmp/demo.err"; fail=1; }

# The root's /etc/lumora.conf, as the installed programs read /etc/lumora.conf: every setting
# commented out, so each is the default.
export XDG_CONFIG_HOME=$tmp/config LUMORA_SYSTEM_CONFIG=$root/etc/lumora.conf
"$bin/lumora" run --print-config >"$tmp/config.out" 2>&1
grep -qxF "# read $root/etc/lumora.conf" "$tmp/config.out" &&
  [ -z "$(grep -v '^#' "$tmp/config.out" | grep -v '  # default')" ] ||
  { echo "FAIL: the installed /etc/lumora.conf does not leave every default:"; cat "$tmp/config.out"; fail=1; }
# The example configuration is a good one.
mkdir -p "$XDG_CONFIG_HOME/lumora"
cp "$root/usr/share/doc/lumora/examples/lumora.conf" "$XDG_CONFIG_HOME/lumora/lumora.conf"
"$bin/lumora" run --print-config >"$tmp/example.out" 2>&1 &&
  grep -qF "panel = \"lcdproc\"  # $XDG_CONFIG_HOME/lumora/lumora.conf:" "$tmp/example.out" ||
  { echo "FAIL: the example configuration:"; cat "$tmp/example.out"; fail=1; }
rm -r "$XDG_CONFIG_HOME"

# The agent as its installed unit starts it (ExecStart, in the root), lumora send and status.
exec_start=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/user/lumora.service")
# shellcheck disable=SC2086
$root$exec_start >"$tmp/agent.out" 2>"$tmp/agent.err" &
agent=$!
socket=$tmp/lumora-$(id -u)/lumora.sock
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || { echo "FAIL: the installed agent did not listen at $socket:"; cat "$tmp/agent.err"; exit 1; }
for event in "1 NavHome" "7 SessionOpened" "7 LiveTvStarted" "7 ItemNumber 7" "7 Play"; do
  # shellcheck disable=SC2086
  "$bin/lumora" send $event || { echo "FAIL: the installed lumora send $event"; fail=1; }
done
"$bin/lumora" status >"$tmp/status" 2>&1 && grep -q '^line 2: "CH-007 *"$' "$tmp/status" ||
  { echo "FAIL: the installed lumora status:"; cat "$tmp/status"; fail=1; }
"$bin/lumora" send --close || { echo "FAIL: the installed lumora send --close"; fail=1; }
wait "$agent"
status=$?
agent=
[ $status = 0 ] || { echo "FAIL: the installed agent ended with status $status:"; cat "$tmp/agent.err"; fail=1; }

# Every installed unit: its program in the root, and systemd-analyze verify on the unit with
# that program's path in the root (its one change), its page among the installed ones.
mkdir "$tmp/units"
units=0
for unit in "$root"/usr/lib/systemd/user/*.service; do
  units=$((units + 1))
  program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
  [ -x "$root$program" ] || { echo "FAIL: $(basename "$unit") starts $program, not in the package"; fail=1; }
  sed "s|^ExecStart=/|ExecStart=$root/|" "$unit" >"$tmp/units/$(basename "$unit")"
  verify_unit "$tmp/units/$(basename "$unit")" "$root/usr/share/man" || fail=1
done
[ $units -ge 3 ] || { echo "FAIL: $units units installed"; fail=1; }

# The administrator changes /etc/lumora.conf; a higher version with the same file keeps it
# without a question, one with a changed file keeps it too (--force-confold, as an unattended
# upgrade does) and leaves the package's beside it as /etc/lumora.conf.dpkg-dist.
printf '\n# the administrator: every message in the journal\nverbose = true\n' >>"$root/etc/lumora.conf"
cp "$root/etc/lumora.conf" "$tmp/changed.conf"
# higher N [SYSTEM_CONFIG]: a package of version VERSION+upgradeN.
higher() {
  local next=$version+upgrade$1
  { printf 'lumora (%s) unstable; urgency=medium\n\n  * A higher version for the upgrade test.\n\n' "$next"
    printf ' -- Lumora tests <tests@lumora.invalid>  %s\n\n' "$(date -R)"
    cat "$source_dir/dist/deb/changelog"; } >"$tmp/changelog$1"
  pack "$tmp/upgrade$1" "$next" "$tmp/changelog$1" "${2:-$source_dir/dist/lumora.conf}"
}
upgrade=$(higher 1) && in_root -i "$upgrade" || exit 1
[ "$(installed_version)" = "$version+upgrade1 ii " ] || { echo "FAIL: upgraded: $(installed_version)"; fail=1; }
cmp -s "$root/etc/lumora.conf" "$tmp/changed.conf" || { echo "FAIL: the upgrade replaced the changed /etc/lumora.conf"; fail=1; }
ls "$root/etc" | grep -q '\.dpkg-' && { echo "FAIL: the upgrade left $(ls "$root/etc")"; fail=1; }
LUMORA_SYSTEM_CONFIG=$root/etc/lumora.conf XDG_CONFIG_HOME=$tmp/config "$bin/lumora" run --print-config |
  grep -qE "^verbose = true  # $root/etc/lumora.conf:[0-9]+$" ||
  { echo "FAIL: the upgraded agent does not read the kept /etc/lumora.conf"; fail=1; }
{ cat "$source_dir/dist/lumora.conf"; printf '\n# a setting the next version documents\n'; } >"$tmp/next.conf"
upgrade=$(higher 2 "$tmp/next.conf") && in_root --force-confold -i "$upgrade" || exit 1
[ "$(installed_version)" = "$version+upgrade2 ii " ] || { echo "FAIL: upgraded: $(installed_version)"; fail=1; }
cmp -s "$root/etc/lumora.conf" "$tmp/changed.conf" &&
  cmp -s "$root/etc/lumora.conf.dpkg-dist" "$tmp/next.conf" ||
  { echo "FAIL: --force-confold did not keep the changed file beside the package's:"; ls -l "$root/etc"; fail=1; }

# Purged, the root holds what it held before the install.
in_root --purge lumora || exit 1
[ -z "$(installed_version | grep -v '^ *un $')" ] || { echo "FAIL: after the purge: $(installed_version)"; fail=1; }
files_of_root >"$tmp/after"
diff "$tmp/before" "$tmp/after" >"$tmp/diff" ||
  { echo "FAIL: the purge left files (>) or took some (<):"; cat "$tmp/diff"; fail=1; }
ls "$admin/info" | grep '^lumora\.' && { echo "FAIL: dpkg still has files of lumora"; fail=1; }

# apt on a Debian 12 machine with nothing installed resolves every dependency from the archive.
if ! ls /var/lib/apt/lists/ | grep -q '_Packages'; then
  echo "FAIL: no package lists in /var/lib/apt/lists: apt-get update (scripts/install-deps.sh runs it)"
  exit 1
fi
: >"$tmp/apt-status"
apt-get install --simulate -o Dir::State::status="$tmp/apt-status" -o Debug::NoLocking=1 "$deb" \
  >"$tmp/apt.out" 2>&1
status=$?
grep -q "^Inst lumora ($version local-deb" "$tmp/apt.out" && [ $status = 0 ] ||
  { echo "FAIL: apt-get install --simulate (status $status):"; cat "$tmp/apt.out"; fail=1; }
for dependency in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/ //g'); do
  grep -F "Inst $dependency (" "$tmp/apt.out" | grep -qE '^Inst [^ ]+ \([^ ]+ Debian(-Security)?:12[^ ]*' ||
    { echo "FAIL: apt does not install $dependency from Debian 12:"; grep -F "Inst $dependency " "$tmp/apt.out"; fail=1; }
done

[ $fail = 0 ] && echo "installed, run, verified, upgraded with its configuration kept, purged clean; apt resolves it on Debian 12"
exit $fail
