# The Debian package of the Linux programs, made by CPack's DEB generator from what `cmake
# --install` installs with the prefix /usr: every install rule of the project lands in it (a new
# unit of dist/CMakeLists.txt with no change here). Made with
#   cpack --config BUILD/CPackConfig.cmake [-B OUT_DIR]    (scripts/deb.sh: a build of its own)
# into OUT_DIR/lumora_VERSION_ARCH.deb (BUILD/package/ without -B; `cmake --build BUILD --target
# package` too). The version is the project's (a native package: no Debian revision); the
# dependencies are dpkg-shlibdeps's; no maintainer script, so installing it enables nothing.
# What a package has beside the install tree (the system file /etc/lumora.conf, the copyright
# and the changelog, compressed pages) is added by dist/deb/stage.cmake.
set(LUMORA_DEB_MAINTAINER "Lumora maintainers <maintainers@users.noreply.c-seed-3ff41b69.example>"
  CACHE STRING "The Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumora)
set(CPACK_PACKAGE_VENDOR Lumora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LUMORA_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Shown on LCDd, the one program beside it that a panel on a real display needs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS lcdproc)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front-panel agent of a Media Center PC, with a panel emulator")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Lumora keeps the vacuum-fluorescent panel on the front of a media PC: two text
lines, status icons and a level bar. It turns each change of media state into
the panel's command packets, and shows the date and time while no media plays.

On Linux the agent (lumora run) shows the panel in the terminal or on a display
of LCDd, and takes its events on a socket: from lumora send, from the Kodi
bridge (lumora kodi) and from the desktop players on the session bus (lumora
mpris). lumora-replay replays a recording of the agent to the panel's trace and
pictures. The systemd user units are installed but not enabled.")
# /etc/lumora.conf is the administrator's: kept on upgrades when changed, removed on purge.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The programs stripped (and their .comment section removed by stage.cmake). No debug-symbol
# package: CPack 3.25 writes its md5sums with the staging folder's absolute paths.
set(CPACK_STRIP_FILES ON)
set(CPACK_LUMORA_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/stage.cmake)
# Read by stage.cmake; the tests name other files with cpack -D (a higher version over this one).
set(CPACK_LUMORA_DEB_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_LUMORA_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/changelog)
set(CPACK_LUMORA_SYSTEM_CONFIG ${PROJECT_SOURCE_DIR}/dist/lumora.conf)
include(CPack)
