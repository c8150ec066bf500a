// The box that tells the PC's owner why PanelDrv.dll cannot be used (the texts, written out by
// hand) and the reading of a library's architecture from its file header.
#include "paneldrv/loader/library_problem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumora::win32 {
namespace {

// A file that starts like a Windows image: "MZ", the image header's offset at 0x3C, and there
// "PE\0\0" followed by the Machine field.
std::vector<uint8_t> Image(uint16_t machine, uint32_t headerAt = 0x80, size_t size = 0x200) {
  std::vector<uint8_t> bytes(size, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (size_t i = 0; i < 4; ++i)
    bytes[0x3C + i] = static_cast<uint8_t>(headerAt >> (8 * i));
  const uint8_t header[] = {
      'P', 'E', 0, 0, static_cast<uint8_t>(machine), static_cast<uint8_t>(machine >> 8)};
  for (size_t i = 0; i < sizeof header && headerAt + i < size; ++i)
    bytes[headerAt + i] = header[i];
  return bytes;
}

TEST(ImageMachineTest, ReadsTheMachineOfAnImageAndNothingElse) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint16_t machine;
  };
  std::vector<uint8_t> notMz = Image(kMachineI386);
  notMz[1] = 'Y';
  std::vector<uint8_t> notPe = Image(kMachineI386);
  notPe[0x81] = 'X';
  std::vector<uint8_t> cut = Image(kMachineI386);
  cut.resize(0x3F);
  const std::vector<uint8_t> text = {'T', 'h', 'i', 's', ' ', 'i', 's', ' ', 'n', 'o'};
  const Case cases[] = {
      {"32-bit", Image(kMachineI386), 0x014C},
      {"64-bit", Image(kMachineAmd64), 0x8664},
      {"another processor", Image(0xAA64), 0xAA64},
      {"header far into the file", Image(kMachineAmd64, 0xF00, 0x1000), 0x8664},
      {"header ends exactly at the end", Image(kMachineI386, 0x1FA, 0x200), 0x014C},
      {"Machine field cut off", Image(kMachineI386, 0x1FB, 0x200), 0},
      {"header beyond the bytes read", Image(kMachineI386, 0x10000, 0x200), 0},
      {"offset pointing at the maximum", Image(kMachineI386, 0xFFFFFFFF, 0x200), 0},
      {"no MZ", notMz, 0},
      {"no PE signature", notPe, 0},
      {"a text file", text, 0},
      {"DOS header cut before the offset", cut, 0},
      {"empty", {}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ImageMachine(c.bytes.data(), c.bytes.size()), c.machine) << c.what;
  }
}

std::string Format(const LibraryProblem& problem) {
  char text[1024];
  const size_t length = FormatLibraryProblem(problem, text, sizeof text);
  EXPECT_EQ(length, std::strlen(text));
  return text;
}

constexpr char kPath[] = R"(C:\Program Files\Lumora\PanelDrv.dll)";

TEST(FormatLibraryProblemTest, NamesTheFileTheReasonAndWhatToDo) {
  struct Case {
    LibraryProblem problem;
    const char* text;
  };
  const Case cases[] = {
      {{LibraryProblemKind::Missing, kPath, 0, kMachineAmd64},
       "C:\\Program Files\\Lumora\\PanelDrv.dll was not found.\n\nCopy the panel maker's "
       "PanelDrv.dll into the folder of Lumora.exe and start Lumora again. Until then Lumora "
       "runs without the panel."},
      {{LibraryProblemKind::NotAnImage, kPath, 0, kMachineI386},
       "C:\\Program Files\\Lumora\\PanelDrv.dll is not a Windows library.\n\nReplace it with "
       "the panel maker's PanelDrv.dll and start Lumora again. Until then Lumora runs without "
       "the panel."},
      {{LibraryProblemKind::OtherMachine, kPath, kMachineI386, kMachineAmd64},
       "C:\\Program Files\\Lumora\\PanelDrv.dll is a 32-bit library; this is the 64-bit "
       "Lumora.\n\nInstall the 32-bit Lumora (Lumora-x86) instead. Until then Lumora runs "
       "without the panel."},
      {{LibraryProblemKind::OtherMachine, kPath, kMachineAmd64, kMachineI386},
       "C:\\Program Files\\Lumora\\PanelDrv.dll is a 64-bit library; this is the 32-bit "
       "Lumora.\n\nInstall the 64-bit Lumora (Lumora-x64) instead. Until then Lumora runs "
       "without the panel."},
      {{LibraryProblemKind::OtherMachine, kPath, 0xAA64, kMachineAmd64},
       "C:\\Program Files\\Lumora\\PanelDrv.dll is a library for another kind of processor "
       "(machine 0xAA64); this is the 64-bit Lumora.\n\nLumora needs a PanelDrv.dll for this "
       "PC's processor. Until then Lumora runs without the panel."},
      {{LibraryProblemKind::NotLoaded, kPath, 0, kMachineI386, 126},
       "C:\\Program Files\\Lumora\\PanelDrv.dll could not be loaded (Windows error 126: a "
       "library that it needs is missing).\n\nReinstall the panel maker's software and start "
       "Lumora again. Until then Lumora runs without the panel."},
      {{LibraryProblemKind::NotLoaded, kPath, 0, kMachineI386, 1114},
       "C:\\Program Files\\Lumora\\PanelDrv.dll could not be loaded (Windows error 1114: its "
       "start-up failed).\n\nReinstall the panel maker's software and start Lumora again. "
       "Until then Lumora runs without the panel."},
      {{LibraryProblemKind::NotLoaded, kPath, 0, kMachineI386, 5},
       "C:\\Program Files\\Lumora\\PanelDrv.dll could not be loaded (Windows error 5).\n\n"
       "Reinstall the panel maker's software and start Lumora again. Until then Lumora runs "
       "without the panel."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.problem), c.text);
  }
}

TEST(FormatLibraryProblemTest, ListsEveryMissingFunction) {
  struct Case {
    uint8_t missing;
    const char* list;
  };
  const Case cases[] = {
      {0b010, "function VFD_Cmd"},
      {0b001, "function OpenVFD"},
      {0b101, "functions OpenVFD and CloseVFD"},
      {0b111, "functions OpenVFD, VFD_Cmd and CloseVFD"},
  };
  for (const Case& c : cases) {
    LibraryProblem problem{LibraryProblemKind::MissingFunctions, "X.dll", 0, kMachineAmd64};
    problem.missingFunctions = c.missing;
    EXPECT_EQ(Format(problem), std::string("X.dll has no ") + c.list +
                                   ": it is not the panel's display library.\n\nReplace it with "
                                   "the panel maker's PanelDrv.dll and start Lumora again. Until "
                                   "then Lumora runs without the panel.");
  }
}

TEST(FormatLibraryProblemTest, CutsATextThatDoesNotFitAndKeepsItTerminated) {
  const LibraryProblem problem{LibraryProblemKind::Missing, kPath, 0, kMachineAmd64};
  const std::string whole = Format(problem);
  for (size_t size : {size_t{1}, size_t{10}, size_t{40}, whole.size(), whole.size() + 1}) {
    std::vector<char> text(size, 'x');
    const size_t length = FormatLibraryProblem(problem, text.data(), size);
    EXPECT_EQ(length, std::min(whole.size(), size - 1)) << size;
    EXPECT_EQ(std::string(text.data()), whole.substr(0, size - 1)) << size;
  }
}

}  // namespace
}  // namespace lumora::win32
