# The layers' rule, checked on every include line of the project's own code: a file includes
# only its own folder's headers and those of the layers below it.
#
#   cmake -DSOURCE_DIR=... -P layering_check.cmake
#
# Layers, lowest first:
#   base      the ground floor: includes nothing of the project
#   panel     -> base
#   engine    -> panel, base
#   scenario  -> base (the scenario language; the senders carry nothing of the agent)
#   senders   -> scenario, base (frames, the socket client, the socket-folder rule, the
#                SendMessage client)
#   sources   -> senders, scenario, base (the translation of a player's state into events, and
#                the bridges that follow the players)
#   app       (the window) -> engine, panel, base
#   paneldrv  (the display library's interface and the stand-ins) -> panel, base
#   app/replay, app/win32, app/posix (the hosts) -> app and below, scenario, senders, sources;
#   each host its own extras
#   tools     (mains) -> anything but the tests
# No file outside tests/ and bench/ includes them, and no host includes tools/.

set(rules
  "base/|base/"
  "panel/|base/ panel/"
  "engine/|base/ panel/ engine/"
  "scenario/|base/ scenario/"
  "senders/|base/ scenario/ senders/"
  "sources/|base/ scenario/ senders/ sources/"
  "app/replay/|base/ panel/ engine/ app/agent_dlg app/replay/ scenario/"
  "app/win32/|base/ panel/ engine/ app/agent_dlg app/win32/ paneldrv/panel_drv.h paneldrv/loader/ res/ scenario/ senders/ sources/"
  "app/posix/|base/ panel/ engine/ app/agent_dlg app/posix/ scenario/ senders/ sources/ paneldrv/"
  "app/|base/ panel/ engine/ app/agent_dlg"
  "paneldrv/|base/ panel/ paneldrv/"
  "tools/|base/ panel/ engine/ app/ scenario/ senders/ sources/ paneldrv/ tools/"
)

set(violations "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}*.h ${SOURCE_DIR}/${folder}*.cpp ${SOURCE_DIR}/${folder}*.rc)
  foreach(file IN LISTS files)
    # A file belongs to the deepest rule whose folder holds it: app/ files below app/posix/ and
    # the other hosts are checked by the host's rule.
    set(owner "")
    foreach(other IN LISTS rules)
      string(REGEX REPLACE "\\|.*" "" otherFolder "${other}")
      string(FIND "${file}" "${otherFolder}" at)
      string(LENGTH "${otherFolder}" otherLength)
      string(LENGTH "${owner}" ownerLength)
      if(at EQUAL 0 AND otherLength GREATER ownerLength)
        set(owner "${otherFolder}")
      endif()
    endforeach()
    if(NOT owner STREQUAL folder)
      continue()
    endif()
    file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*" "\\1" target "${line}")
      set(ok FALSE)
      foreach(prefix IN LISTS allowed)
        string(FIND "${target}" "${prefix}" at)
        if(at EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        list(APPEND violations "${file}: includes ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes that break the layers:\n  ${text}")
endif()
message(STATUS "Every include line keeps to the layers")
