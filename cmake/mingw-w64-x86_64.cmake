# Cross-compiles the Windows programs (Lumora.exe, PanelDrv.dll, lumora-send.exe) for x86-64
# Windows with mingw-w64 on Debian: g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64. The
# build for Media Center PCs whose panel library is a 64-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LUMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
