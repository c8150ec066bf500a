// The display-device library of the panel, PanelDrv.dll: the three C functions through which
// the agent opens the panel, sends it one 65-byte command packet at a time, and closes it. The
// agent (Lumora.exe) imports them by name; the real library and every stand-in export them.
#pragma once

#if defined(_WIN32)
#if defined(PANELDRV_BUILDING)
#define PANELDRV_API __declspec(dllexport)
#else
#define PANELDRV_API __declspec(dllimport)
#endif
#else
#define PANELDRV_API __attribute__((visibility("default")))
#endif

extern "C" {

// Opens the panel chosen by device (the agent passes 11853 and then 16, 16). Returns the device
// handle, or -1 after writing the library's error code into *error.
PANELDRV_API int OpenVFD(int device, int a, int b, int* error);

// Sends one 65-byte command packet to the panel of handle; the agent ignores the result.
PANELDRV_API int VFD_Cmd(int handle, unsigned char* packet);

// Closes the panel of handle; the agent ignores the result.
PANELDRV_API int CloseVFD(int handle);

}  // extern "C"
