// The display library PanelDrv.dll, loaded at start-up from the folder of Lumora.exe and called
// through the three functions it exports by name (Win32).
//
// Binds:
//   loading      LoadLibraryExA with the full path beside the program, so that no other folder
//                can put a library of that name in its place; Windows' own error boxes are
//                kept off, and a failure is told in the owner's words (library_problem.h)
//   functions    OpenVFD, VFD_Cmd and CloseVFD by GetProcAddress; all three or none
//   32-bit calls through a stub that restores the stack pointer after each call, so a library
//                built with the C calling convention and one built with the standard calling
//                convention both work (the 64-bit build has one convention only)
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/win32/library_problem.h"

namespace lumora::win32 {

class PanelLibrary {
 public:
  // Loads PanelDrv.dll from the folder of the running program and looks up its functions.
  PanelLibrary();
  ~PanelLibrary();
  PanelLibrary(const PanelLibrary&) = delete;
  PanelLibrary& operator=(const PanelLibrary&) = delete;

  // True when the library is loaded with all three functions.
  bool loaded() const { return module_ != nullptr; }
  // Why it is not (the text of the owner's message box); empty when it is.
  const char* problem() const { return problem_; }

  // The library's functions; call only when loaded().
  int32_t Open(int32_t device, int32_t width, int32_t height, int32_t* error);
  int32_t Cmd(int32_t handle, uint8_t* packet);
  int32_t Close(int32_t handle);

 private:
  using Function = void (*)();
  void Fail(LibraryProblem problem);

  HMODULE module_ = nullptr;
  Function open_ = nullptr;
  Function cmd_ = nullptr;
  Function close_ = nullptr;
  char path_[MAX_PATH] = {};
  char problem_[1024] = {};
};

}  // namespace lumora::win32
