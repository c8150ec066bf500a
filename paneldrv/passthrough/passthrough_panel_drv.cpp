// The pass-through display library for the field: a PanelDrv.dll that stands in front of the
// panel maker's library and forwards every call to it unchanged, writing the trace line of each
// call first. With it a real panel gives the trace of what the agent sent it, line for line like
// lumora-replay's; with LUMORA_RECORD set for the agent as well, an evening in the living room
// becomes a scenario and the trace it produced.
//
// Installing it: rename the maker's PanelDrv.dll to PanelDrv.vendor.dll, and put this library
// beside it as PanelDrv.dll (both beside Lumora.exe).
//
//   LUMORA_PANEL_TRACE=FILE   each OpenVFD (re)opens FILE for appending; every call then adds
//                             its line, flushed at once. Unset or empty: nothing is recorded.
//
// The maker's library is loaded at the first OpenVFD from this library's own folder by its full
// path, and called whichever 32-bit calling convention it was built with. When it cannot be
// used (missing, the other architecture, not a library, a function missing), or FILE cannot be
// opened, OpenVFD fails and the agent shows "OpenVFD Error: N" with N one of
//   126 (ERROR_MOD_NOT_FOUND)  PanelDrv.vendor.dll is missing or cannot be loaded
//   193 (ERROR_BAD_EXE_FORMAT) it is no library, or one of the other architecture
//   127 (ERROR_PROC_NOT_FOUND) it lacks OpenVFD, VFD_Cmd or CloseVFD
//   110 (ERROR_OPEN_FAILED)    the trace file cannot be opened
// For the first three, a box of its own (caption "Lumora: pass-through PanelDrv.dll", once per
// process) names the file and the reason before the agent's box gives the number, the trace
// gets a line "# FILE ..." after the open's with the same words, and so does the debugger output
// (OutputDebugString).
// The agent calls the library from its one thread only; so does this library's state.
#include <windows.h>

#include <string>
#include <string_view>

#include "panel/trace_line.h"
#include "paneldrv/loader/panel_library.h"
#include "paneldrv/panel_drv.h"

namespace {

constexpr char kVendorLibrary[] = "PanelDrv.vendor.dll";
constexpr char kBoxCaption[] = "Lumora: pass-through PanelDrv.dll";
// What the owner does about it, after the file and the reason.
constexpr char kBoxAdvice[] =
    "\n\nThe pass-through PanelDrv.dll hands every call on to the panel maker's library, "
    "renamed PanelDrv.vendor.dll and put beside it. Until then Lumora runs without the panel.";
constexpr int kErrorModNotFound = 126;
constexpr int kErrorProcNotFound = 127;
constexpr int kErrorBadExeFormat = 193;
constexpr int kErrorOpenFailed = 110;

lumora::AppendedTraceFile trace;
// Loaded at the first open and never freed: freeing a library while this one is being unloaded
// (the process's end) is not safe, and the process's end releases it anyway.
lumora::win32::PanelLibrary* vendor = nullptr;
// The box is shown at the first failed open only, whatever opens follow in the same process.
bool boxShown = false;

// This library's own module, so that the maker's is looked for beside it.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnModule), &module);
  return module;
}

int ErrorOf(const lumora::win32::PanelLibrary& library) {
  switch (library.problemKind()) {
    case lumora::win32::LibraryProblemKind::NotAnImage:
    case lumora::win32::LibraryProblemKind::OtherMachine:
      return kErrorBadExeFormat;
    case lumora::win32::LibraryProblemKind::MissingFunctions:
      return kErrorProcNotFound;
    default:
      return kErrorModNotFound;
  }
}

}  // namespace

int PANELDRV_CALL OpenVFD(int device, int a, int b, int* error) {
  if (vendor == nullptr) vendor = new lumora::win32::PanelLibrary(kVendorLibrary, OwnModule());
  if (!trace.OpenFromEnvironment("LUMORA_PANEL_TRACE")) {
    if (error != nullptr) *error = kErrorOpenFailed;
    return -1;
  }
  trace.writer().Open(device, a, b);
  if (!vendor->loaded()) {
    // The agent's box can give only the number: this library's box, the trace file and the
    // debugger output say which file could not be used and why (the first sentence of the
    // loader's text; its advice is about the agent's own library).
    const std::string_view problem = vendor->problem();
    const std::string_view reason = problem.substr(0, problem.find("\n\n"));
    trace.writer().Note(reason);
    const std::string message = "Lumora pass-through PanelDrv.dll: " + std::string(reason) + "\n";
    OutputDebugStringA(message.c_str());
    if (!boxShown) {
      boxShown = true;
      const std::string text = std::string(reason) + kBoxAdvice;
      MessageBoxA(nullptr, text.c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
    }
    if (error != nullptr) *error = ErrorOf(*vendor);
    return -1;
  }
  return vendor->Open(device, a, b, error);
}

int PANELDRV_CALL VFD_Cmd(int handle, unsigned char* packet) {
  if (packet != nullptr) trace.writer().Cmd(packet);
  return vendor != nullptr && vendor->loaded() ? vendor->Cmd(handle, packet) : 0;
}

int PANELDRV_CALL CloseVFD(int handle) {
  trace.writer().Close();
  trace.Close();
  return vendor != nullptr && vendor->loaded() ? vendor->Close(handle) : 0;
}
