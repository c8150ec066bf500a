// Why the display library beside Lumora.exe cannot be used, told in the words of the one
// message box that the PC's owner sees, and the architecture of a library read from its file.
// Portable on purpose (no Windows headers): the texts and the header reading are tested in the
// Linux build too; the loading itself is app/win32/panel_library.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora::win32 {

// The caption of the box. Not "Lumora": senders find the agent's window by that exact title.
inline constexpr char kLibraryBoxCaption[] = "Lumora: PanelDrv.dll";

// The Machine field of a Windows image: the two architectures Lumora is built for.
inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;

// The three functions looked up by name, in the order of the bits of missingFunctions.
inline constexpr const char* kPanelFunctionNames[] = {"OpenVFD", "VFD_Cmd", "CloseVFD"};

// The Machine field of the Windows image whose first size bytes are given; 0 when they are not
// the start of an image ("MZ", then "PE\0\0" where the DOS header points) or the image header
// lies beyond them.
uint16_t ImageMachine(const uint8_t* bytes, size_t size);

enum class LibraryProblemKind {
  kMissing,           // no file of that name
  kNotAnImage,        // the file is no Windows library at all
  kOtherMachine,      // a library for another architecture
  kNotLoaded,         // the right architecture, yet Windows would not load it
  kMissingFunctions,  // loaded, but one or more of the three functions is not exported
};

struct LibraryProblem {
  LibraryProblemKind kind = LibraryProblemKind::kMissing;
  const char* path = "";         // the library's full path
  uint16_t fileMachine = 0;      // kOtherMachine: the library's Machine field
  uint16_t ownMachine = 0;       // this build of Lumora's
  uint32_t error = 0;            // kNotLoaded: the Windows error code of the load
  uint8_t missingFunctions = 0;  // kMissingFunctions: bit i set for kPanelFunctionNames[i]
};

// Writes the box's text for problem into text (size bytes at most, always NUL-terminated when
// size > 0): the file, the reason in plain words, what to do, and that Lumora runs on without
// the panel. Returns the length written.
size_t FormatLibraryProblem(const LibraryProblem& problem, char* text, size_t size);

}  // namespace lumora::win32
