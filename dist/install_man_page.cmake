# Run by `cmake --install`: writes lumora(1) with the files of its FILES section under the prefix
# installed into (CMAKE_INSTALL_PREFIX, under DESTDIR when one is given), in place of the source
# page's /usr/local, the default prefix. LUMORA_MAN_PAGE names the source page.
file(READ "${LUMORA_MAN_PAGE}" page)
# The prefix as roff writes a path: a backslash doubled, a hyphen a minus that copies as "-".
string(REPLACE "\\" "\\\\" prefix "${CMAKE_INSTALL_PREFIX}")
string(REPLACE "-" "\\-" prefix "${prefix}")
string(REPLACE "/usr/local/" "${prefix}/" page "${page}")
set(installed "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/man/man1/lumora.1")
message(STATUS "Installing: ${installed}")
file(WRITE "${installed}" "${page}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${installed}")
