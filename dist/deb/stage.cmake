# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) in the package's staging folder, after `cmake --install`
# put the install tree there with the prefix /usr: what a Debian package has beside that tree.
#   /etc/lumora.conf                       the system file, every setting commented out (a
#                                          conffile: dist/deb/conffiles)
#   /usr/share/doc/lumora/copyright        dist/deb/copyright
#   /usr/share/doc/lumora/changelog.gz     dist/deb/changelog, whose first entry must be the
#                                          package's version
#   /usr/share/man/man1/*.1.gz             the manual pages, compressed
# and the programs (stripped by cpack) without their .comment section.
# Compressed with gzip -9n: no name and no time in the file, the same bytes on every build.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(doc "${root}/usr/share/doc/lumora")
if(CPACK_DEBIAN_PACKAGE_VERSION)
  set(version "${CPACK_DEBIAN_PACKAGE_VERSION}")
else()
  set(version "${CPACK_PACKAGE_VERSION}")
endif()

function(gzip file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file}: ${status}")
  endif()
endfunction()

# The changelog's newest entry is the version being packed.
file(STRINGS "${CPACK_LUMORA_CHANGELOG}" first LIMIT_COUNT 1)
if(NOT first MATCHES "^lumora \\(([^)]+)\\) ")
  message(FATAL_ERROR "${CPACK_LUMORA_CHANGELOG}: the first line is not a Debian changelog entry of lumora")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL version)
  message(FATAL_ERROR "${CPACK_LUMORA_CHANGELOG}: the newest entry is ${CMAKE_MATCH_1}, the "
    "package is ${version}: add an entry for ${version} (the version of project() in CMakeLists.txt)")
endif()

# place(SOURCE DESTINATION): a file of the package, readable by all and written by root only.
function(place source destination)
  configure_file("${source}" "${destination}" COPYONLY)
  file(CHMOD "${destination}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

place("${CPACK_LUMORA_SYSTEM_CONFIG}" "${root}/etc/lumora.conf")
place("${CPACK_LUMORA_DEB_DIR}/copyright" "${doc}/copyright")
place("${CPACK_LUMORA_CHANGELOG}" "${doc}/changelog")
gzip("${doc}/changelog")
# The compilers' notes (.comment) are of no use in a stripped program.
file(GLOB programs "${root}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_LUMORA_OBJCOPY}" --remove-section=.comment "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objcopy ${program}: ${status}")
  endif()
endforeach()
file(GLOB pages "${root}/usr/share/man/man*/*")
foreach(page IN LISTS pages)
  if(NOT page MATCHES "\\.gz$")
    gzip("${page}")
  endif()
endforeach()
