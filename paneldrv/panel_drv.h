// The display-device library of the panel, PanelDrv.dll: the three C functions through which
// the agent opens the panel, sends it one 65-byte command packet at a time, and closes it. The
// agent (Lumora.exe) loads the library beside itself at start-up and looks the three functions
// up by their plain names; the real library and every stand-in export them so.
//
// Calling convention: a 32-bit vendor library may use the C or the standard convention, and
// nothing in the library tells which; the agent calls them so that either works. The stand-ins
// use the C convention, or the standard one when built with PANELDRV_STDCALL (exported under
// the plain names all the same, to prove the agent copes with both).
#pragma once

#if defined(_WIN32)
#if defined(PANELDRV_BUILDING)
#define PANELDRV_API __declspec(dllexport)
#else
#define PANELDRV_API __declspec(dllimport)
#endif
#if defined(PANELDRV_STDCALL)
#define PANELDRV_CALL __stdcall
#else
#define PANELDRV_CALL __cdecl
#endif
#else
#define PANELDRV_API __attribute__((visibility("default")))
#define PANELDRV_CALL
#endif

extern "C" {

// Opens the panel chosen by device (the agent passes 11853 and then 16, 16). Returns the device
// handle, or -1 after writing the library's error code into *error.
PANELDRV_API int PANELDRV_CALL OpenVFD(int device, int a, int b, int* error);

// Sends one 65-byte command packet to the panel of handle; the agent ignores the result.
PANELDRV_API int PANELDRV_CALL VFD_Cmd(int handle, unsigned char* packet);

// Closes the panel of handle; the agent ignores the result.
PANELDRV_API int PANELDRV_CALL CloseVFD(int handle);

}  // extern "C"
