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
