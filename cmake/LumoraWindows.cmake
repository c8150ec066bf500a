# Helpers of the Windows build (mingw-w64).

# lumora_version_resource(TARGET NAME DESCRIPTION): gives the program TARGET a VERSIONINFO
# resource with the project's version, its file name NAME(.exe) and DESCRIPTION.
function(lumora_version_resource target name description)
  set(LUMORA_VERSION_NAME "${name}")
  set(LUMORA_VERSION_DESCRIPTION "${description}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/res/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

# lumora_release_binary(TARGET): what the owner gets of TARGET is stripped; its debug information
# (built with -g, see the top CMakeLists.txt) is kept beside it as FILE.debug for bug reports
# (a debugger finds it through the link that the stripped file keeps to it).
function(lumora_release_binary target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
      $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E chdir $<TARGET_FILE_DIR:${target}>
      ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
      $<TARGET_FILE_NAME:${target}>
    VERBATIM)
endfunction()

# The owner's guide: the owner's sections of docs/windows.md (up to the first section for
# developers), made into a text for Notepad by owner_guide.cmake at every build, so that the
# guide and the document cannot drift apart.
set(LUMORA_OWNER_GUIDE "${CMAKE_BINARY_DIR}/Lumora guide.txt")
add_custom_command(OUTPUT "${LUMORA_OWNER_GUIDE}"
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/docs/windows.md
    "-DOUTPUT=${LUMORA_OWNER_GUIDE}" -P ${PROJECT_SOURCE_DIR}/cmake/owner_guide.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/windows.md ${PROJECT_SOURCE_DIR}/cmake/owner_guide.cmake
  COMMENT "Lumora guide.txt: the owner's sections of docs/windows.md"
  VERBATIM)
add_custom_target(owner_guide ALL DEPENDS "${LUMORA_OWNER_GUIDE}")
