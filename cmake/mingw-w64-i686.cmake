# Cross-compiles the Windows programs (Lumora.exe, PanelDrv.dll, lumora-send.exe) for 32-bit x86
# Windows with mingw-w64 on Debian: g++-mingw-w64-i686-posix, binutils-mingw-w64-i686. The build
# for Media Center PCs whose panel library is a 32-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LUMORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
