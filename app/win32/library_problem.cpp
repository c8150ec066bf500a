// The texts of the display library's problems and the reading of a library's architecture; see
// library_problem.h.
#include "app/win32/library_problem.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

namespace lumora::win32 {

namespace {

// The architectures Lumora is built for: how the owner hears of them and the build to pick.
struct MachineName {
  uint16_t machine;
  const char* bits;   // "32-bit"
  const char* build;  // the name of that Lumora build, as on its installer and its folder
};
constexpr MachineName kMachineNames[] = {
    {kMachineI386, "32-bit", "Lumora-x86"},
    {kMachineAmd64, "64-bit", "Lumora-x64"},
};

const MachineName* NameOf(uint16_t machine) {
  for (const MachineName& name : kMachineNames) {
    if (name.machine == machine) return &name;
  }
  return nullptr;
}

// The usual reasons why Windows will not load a library of the right architecture.
struct LoadErrorReason {
  uint32_t error;
  const char* words;
};
constexpr LoadErrorReason kLoadErrorReasons[] = {
    {126, "a library that it needs is missing"},  // ERROR_MOD_NOT_FOUND
    {1114, "its start-up failed"},                // ERROR_DLL_INIT_FAILED
};

// The last sentence of every text: what the agent does after the box.
constexpr char kCarriesOn[] = "Until then Lumora runs without the panel.";

// Appends to a bounded text; whatever does not fit is cut off, the text stays terminated.
class Text {
 public:
  Text(char* buffer, size_t size) : buffer_(buffer), size_(size) {
    if (size_ > 0) buffer_[0] = '\0';
  }

  __attribute__((format(printf, 2, 3))) void Add(const char* format, ...) {
    if (length_ + 1 >= size_) return;
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(buffer_ + length_, size_ - length_, format, arguments);
    va_end(arguments);
    if (written < 0) return;
    const size_t room = size_ - length_ - 1;
    length_ += static_cast<size_t>(written) < room ? static_cast<size_t>(written) : room;
  }

  size_t length() const { return length_; }

 private:
  char* buffer_;
  size_t size_;
  size_t length_ = 0;
};

uint32_t Read32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

uint16_t ImageMachine(const uint8_t* bytes, size_t size) {
  // The DOS header: "MZ", and at offset 0x3C where the image header starts.
  constexpr size_t kImageHeaderOffset = 0x3C;
  if (size < kImageHeaderOffset + 4 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  const uint32_t header = Read32(bytes + kImageHeaderOffset);
  // The image header: "PE\0\0", then the 16-bit Machine field.
  if (header > size || size - header < 6) return 0;
  const uint8_t* pe = bytes + header;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return 0;
  return static_cast<uint16_t>(pe[4] | pe[5] << 8);
}

size_t FormatLibraryProblem(const LibraryProblem& problem, char* buffer, size_t size) {
  Text text(buffer, size);
  const MachineName* own = NameOf(problem.ownMachine);
  const char* ownBits = own != nullptr ? own->bits : "this";
  switch (problem.kind) {
    case LibraryProblemKind::kMissing:
      text.Add(
          "%s was not found.\n\nCopy the panel maker's PanelDrv.dll into the folder of "
          "Lumora.exe and start Lumora again. ",
          problem.path);
      break;
    case LibraryProblemKind::kNotAnImage:
      text.Add(
          "%s is not a Windows library.\n\nReplace it with the panel maker's PanelDrv.dll "
          "and start Lumora again. ",
          problem.path);
      break;
    case LibraryProblemKind::kOtherMachine:
      if (const MachineName* other = NameOf(problem.fileMachine); other != nullptr) {
        text.Add(
            "%s is a %s library; this is the %s Lumora.\n\nInstall the %s Lumora (%s) "
            "instead. ",
            problem.path, other->bits, ownBits, other->bits, other->build);
      } else {
        text.Add(
            "%s is a library for another kind of processor (machine 0x%04X); this is the %s "
            "Lumora.\n\nLumora needs a PanelDrv.dll for this PC's processor. ",
            problem.path, problem.fileMachine, ownBits);
      }
      break;
    case LibraryProblemKind::kNotLoaded:
      text.Add("%s could not be loaded (Windows error %u", problem.path,
               static_cast<unsigned>(problem.error));
      for (const LoadErrorReason& reason : kLoadErrorReasons) {
        if (reason.error == problem.error) text.Add(": %s", reason.words);
      }
      text.Add(").\n\nReinstall the panel maker's software and start Lumora again. ");
      break;
    case LibraryProblemKind::kMissingFunctions: {
      unsigned count = 0;
      for (size_t i = 0; i < std::size(kPanelFunctionNames); ++i)
        count += problem.missingFunctions >> i & 1U;
      text.Add("%s has no function%s ", problem.path, count > 1 ? "s" : "");
      unsigned listed = 0;
      for (size_t i = 0; i < std::size(kPanelFunctionNames); ++i) {
        if ((problem.missingFunctions >> i & 1U) == 0) continue;
        ++listed;
        text.Add("%s%s", listed == 1 ? "" : (listed == count ? " and " : ", "),
                 kPanelFunctionNames[i]);
      }
      text.Add(
          ": it is not the panel's display library.\n\nReplace it with the panel maker's "
          "PanelDrv.dll and start Lumora again. ");
      break;
    }
  }
  text.Add("%s", kCarriesOn);
  return text.length();
}

}  // namespace lumora::win32
