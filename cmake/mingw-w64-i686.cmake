# Cross-compiles the Windows programs (Lumora.exe, PanelDrv.dll, lumora-send.exe) for 32-bit x86
# Windows with mingw-w64 on Debian: g++-mingw-w64-i686-posix, binutils-mingw-w64-i686. The build
# for Media Center PCs whose panel library is a 32-bit DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(LUMORA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread are linked into every binary, so the programs start
# in a bare Windows installation (or Wine prefix) with no mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
