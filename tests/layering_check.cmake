# The layers' rule, checked on every include line of the project's own code and on every
# target_link_libraries line of its CMakeLists.txt files: a file includes, and a folder's targets
# link, only their own folder and the layers below it.
#
#   cmake -DSOURCE_DIR=... [-DPLANTED="FILE|INCLUDE"] -P layering_check.cmake
#
# Layers, lowest first:
#   base      the ground floor: includes nothing of the project; base/posix and base/win32, one
#             system's ground floor, only base; the portable layers below the hosts (panel,
#             engine, app, the scenario language and its readers) include neither
#   panel     -> base
#   engine    -> panel, base
#   scenario  -> base (the scenario language; the senders carry nothing of the agent)
#   recorder  -> scenario, base (the recorder of what an agent receives)
#   sendargs  -> scenario, base (the senders' command line)
#   senders   -> sendargs, scenario, base (frames, the socket client, the socket-folder rule,
#                the SendMessage client)
#   sources   -> senders, sendargs, scenario, the panel's tables, base (the translation of a player's state into
#                events, and the bridges that follow the players)
#   sources/media_sessions (Windows' media sessions) -> the translation core, base
#   app       (the window) -> engine, panel, base
#   paneldrv  (the display library's interface and the stand-ins) -> panel, base
#   res       (the Windows program's dialog and icon) -> nothing of the project
#   app/posix/config (the Linux programs' configuration file) -> base
#   app/posix/sleep (the host's watch of the login manager's sleep and wake) -> base
#   app/replay, app/win32, app/posix (the hosts) -> app and below, scenario; the live hosts
#             also the recorder, the senders' command line, senders and sources;
#             Windows the display library's interface, its loader and res, Linux the
#             emulator and the LCDd client, the replay the emulator's picture making
#   tools     (mains) -> anything but the tests and the benchmarks
#   bench     -> anything but the tests and the tools
#   tests     -> anything but the tools
# An include without a folder names a file beside the includer. Targets defined in the top
# CMakeLists.txt (the warning flags) are open to every folder.

cmake_policy(VERSION 3.20)

set(rules
  "base/posix/|base/ !base/win32/"
  "base/win32/|base/ !base/posix/"
  "base/|base/ !base/posix/ !base/win32/"
  "panel/|base/ panel/ !base/posix/ !base/win32/"
  "engine/|base/ panel/ engine/ !base/posix/ !base/win32/"
  "scenario/|base/ scenario/ !base/posix/ !base/win32/"
  "recorder/|base/ scenario/ recorder/ !base/posix/ !base/win32/"
  "sendargs/|base/ scenario/ sendargs/ !base/posix/ !base/win32/"
  "senders/|base/ scenario/ sendargs/ senders/"
  "sources/media_sessions/|base/ sources/media_source.h sources/media_sessions/"
  "sources/|base/ panel/panel_tables.h scenario/ sendargs/ senders/ sources/"
  "app/replay/|base/ panel/ engine/ app/agent_dlg app/replay/ scenario/ paneldrv/emulator/"
  "app/win32/|base/ panel/ engine/ app/agent_dlg app/win32/ paneldrv/panel_drv.h paneldrv/loader/ res/ scenario/ recorder/ sendargs/ senders/ sources/"
  "app/posix/config/|base/ app/posix/config/"
  "app/posix/sleep/|base/ app/posix/sleep/"
  "app/posix/|base/ panel/ engine/ app/agent_dlg app/posix/ scenario/ recorder/ sendargs/ senders/ sources/ paneldrv/emulator/ paneldrv/lcdproc/"
  "app/|base/ panel/ engine/ app/agent_dlg !base/posix/ !base/win32/"
  "paneldrv/|base/ panel/ paneldrv/"
  "res/|res/"
  "tools/|base/ panel/ engine/ app/ scenario/ recorder/ sendargs/ senders/ sources/ paneldrv/ res/ tools/"
  "bench/|base/ panel/ engine/ app/ scenario/ recorder/ sendargs/ senders/ sources/ paneldrv/ res/ bench/"
  "tests/|base/ panel/ engine/ app/ scenario/ recorder/ sendargs/ senders/ sources/ paneldrv/ res/ bench/ tests/"
)

# The folder that owns a path: the deepest rule folder that holds it ("" for none).
function(owner_of path out)
  set(owner "")
  foreach(other IN LISTS rules)
    string(REGEX REPLACE "\\|.*" "" otherFolder "${other}")
    string(FIND "${path}" "${otherFolder}" at)
    string(LENGTH "${otherFolder}" otherLength)
    string(LENGTH "${owner}" ownerLength)
    if(at EQUAL 0 AND otherLength GREATER ownerLength)
      set(owner "${otherFolder}")
    endif()
  endforeach()
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()

# Every target the project defines, with the folder of the CMakeLists.txt that defines it.
file(GLOB_RECURSE lists RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*CMakeLists.txt)
list(FILTER lists EXCLUDE REGEX "^build/|^out/|/_deps/")
set(targetNames "")
foreach(list IN LISTS lists)
  file(READ ${SOURCE_DIR}/${list} text)
  get_filename_component(dir "${list}" DIRECTORY)
  string(REGEX MATCHALL "add_(library|executable)\\([ \t\r\n]*[A-Za-z0-9_.-]+" defs "${text}")
  foreach(def IN LISTS defs)
    string(REGEX REPLACE ".*\\([ \t\r\n]*" "" name "${def}")
    if(dir STREQUAL "")
      set(where_${name} "")
    else()
      set(where_${name} "${dir}/")
    endif()
    list(APPEND targetNames ${name})
  endforeach()
endforeach()


# include_ok(TARGET ALLOWED OUT): whether a file whose rule allows ALLOWED (a list) may include
# TARGET: a name without a folder (beside the includer), or one below an allowed folder and
# below no "!FOLDER" of the rule.
function(include_ok target allowed out)
  set(ok FALSE)
  if(NOT target MATCHES "/")
    set(ok TRUE)
  endif()
  foreach(prefix IN LISTS allowed)
    if(prefix MATCHES "^!")
      string(SUBSTRING "${prefix}" 1 -1 denied)
      string(FIND "${target}" "${denied}" at)
      if(at EQUAL 0)
        set(${out} FALSE PARENT_SCOPE)
        return()
      endif()
    else()
      string(FIND "${target}" "${prefix}" at)
      if(at EQUAL 0)
        set(ok TRUE)
      endif()
    endif()
  endforeach()
  set(${out} ${ok} PARENT_SCOPE)
endfunction()

set(violations "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 allowed)
  string(REPLACE " " ";" allowed "${allowed}")
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}*.h ${SOURCE_DIR}/${folder}*.cpp ${SOURCE_DIR}/${folder}*.rc)
  # PLANTED="FILE|INCLUDE" (the check's own test): a file that does not exist, holding that one
  # include, checked as if it were in the tree.
  set(planted "")
  if(DEFINED PLANTED)
    string(REPLACE "|" ";" planted "${PLANTED}")
    list(GET planted 0 plantedFile)
    list(GET planted 1 plantedInclude)
    list(APPEND files "${plantedFile}")
  endif()
  foreach(file IN LISTS files)
    # A file belongs to the deepest rule whose folder holds it: app/ files below app/posix/ and
    # the other hosts are checked by the host's rule.
    owner_of("${file}" owner)
    if(NOT owner STREQUAL folder)
      continue()
    endif()
    if(DEFINED PLANTED AND file STREQUAL plantedFile)
      set(includes "#include \"${plantedInclude}\"")
    else()
      file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    endif()
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*" "\\1" target "${line}")
      include_ok("${target}" "${allowed}" ok)
      if(NOT ok)
        list(APPEND violations "${file}: includes ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()

# Link lines: a folder's targets link only targets of the folders its files may include. A target
# in a folder above an allowed header (app/ for app/agent_dlg) is allowed, as is one in a folder
# below an allowed folder.
foreach(list IN LISTS lists)
  get_filename_component(dir "${list}" DIRECTORY)
  owner_of("${dir}/" folder)
  if(folder STREQUAL "")
    continue()
  endif()
  set(allowed "")
  foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 ruleFolder)
    if(ruleFolder STREQUAL folder)
      list(GET parts 1 allowed)
      string(REPLACE " " ";" allowed "${allowed}")
    endif()
  endforeach()
  file(READ ${SOURCE_DIR}/${list} text)
  string(REGEX MATCHALL "target_link_libraries\\([^)]*\\)" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^target_link_libraries\\([ \t\r\n]*[^ \t\r\n]+" "" link "${link}")
    string(REGEX MATCHALL "[A-Za-z0-9_.-]+" words "${link}")
    foreach(word IN LISTS words)
      if(NOT word IN_LIST targetNames)
        continue()
      endif()
      set(where "${where_${word}}")
      if(where STREQUAL "")
        continue()
      endif()
      set(ok FALSE)
      foreach(prefix IN LISTS allowed)
        string(FIND "${where}" "${prefix}" below)
        string(FIND "${prefix}" "${where}" above)
        if(below EQUAL 0 OR above EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        list(APPEND violations "${list}: links ${word} (${where})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes and links that break the layers:\n  ${text}")
endif()
message(STATUS "Every include and link line keeps to the layers")
