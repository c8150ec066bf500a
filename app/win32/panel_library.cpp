// Loading and calling the display library; see panel_library.h.
#include "app/win32/panel_library.h"

#include <cstring>
#include <iterator>

namespace lumora::win32 {

namespace {

constexpr char kLibraryName[] = "PanelDrv.dll";

#if defined(__i386__)
constexpr uint16_t kOwnMachine = kMachineI386;
#elif defined(__x86_64__)
constexpr uint16_t kOwnMachine = kMachineAmd64;
#else
#error "Lumora is built for x86 and x64 Windows"
#endif

#if defined(__i386__)
// Calls function with count 32-bit arguments (pushed last to first, as both conventions expect)
// and returns its result. The stack pointer is kept in a register that every callee preserves
// and put back after the call: a C-convention callee leaves its arguments on the stack, a
// standard-convention callee removes them, and either way the stack is as before.
extern "C" int32_t LumoraCallKeepingStack(void (*function)(), const uint32_t* arguments,
                                          uint32_t count);
asm(R"(
    .text
    .globl _LumoraCallKeepingStack
    .def _LumoraCallKeepingStack; .scl 2; .type 32; .endef
_LumoraCallKeepingStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    movl %esp, %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

uint32_t Word(int32_t value) {
  return static_cast<uint32_t>(value);
}
uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
#endif

}  // namespace

PanelLibrary::PanelLibrary() {
  // The full path beside the program: the folder of Lumora.exe and nowhere else.
  const DWORD length = GetModuleFileNameA(nullptr, path_, sizeof path_);
  char* slash = length > 0 && length < sizeof path_ ? std::strrchr(path_, '\\') : nullptr;
  if (slash == nullptr ||
      static_cast<size_t>(slash + 1 - path_) + sizeof kLibraryName > sizeof path_) {
    // No usable folder of the program (a path too long for the buffer): treated as not found.
    std::strcpy(path_, kLibraryName);
    Fail({LibraryProblemKind::kMissing, path_});
    return;
  }
  std::memcpy(slash + 1, kLibraryName, sizeof kLibraryName);

  const DWORD attributes = GetFileAttributesA(path_);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Fail({LibraryProblemKind::kMissing, path_});
    return;
  }

  // Windows' own boxes about a bad image or a missing dependency stay off: the agent tells the
  // owner itself. The library's own dependencies are searched from its folder first.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryExA(path_, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD loadError = GetLastError();
  SetErrorMode(previousMode);
  if (module == nullptr) {
    // Tell why from the file itself: no image at all, or one of another architecture.
    uint8_t header[4096];
    DWORD read = 0;
    HANDLE file = CreateFileA(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      if (!ReadFile(file, header, sizeof header, &read, nullptr)) read = 0;
      CloseHandle(file);
    }
    const uint16_t machine = ImageMachine(header, read);
    LibraryProblem problem{LibraryProblemKind::kNotLoaded, path_};
    if (machine == 0) {
      problem.kind = LibraryProblemKind::kNotAnImage;
    } else if (machine != kOwnMachine) {
      problem.kind = LibraryProblemKind::kOtherMachine;
      problem.fileMachine = machine;
    } else {
      problem.error = loadError;
    }
    Fail(problem);
    return;
  }

  Function* functions[] = {&open_, &cmd_, &close_};
  uint8_t missing = 0;
  for (size_t i = 0; i < std::size(functions); ++i) {
    // FARPROC to the generic function type that the calls below cast from.
    *functions[i] = reinterpret_cast<Function>(GetProcAddress(module, kPanelFunctionNames[i]));
    if (*functions[i] == nullptr) missing = static_cast<uint8_t>(missing | 1U << i);
  }
  if (missing != 0) {
    FreeLibrary(module);
    open_ = cmd_ = close_ = nullptr;
    LibraryProblem problem{LibraryProblemKind::kMissingFunctions, path_};
    problem.missingFunctions = missing;
    Fail(problem);
    return;
  }
  module_ = module;
}

PanelLibrary::~PanelLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void PanelLibrary::Fail(LibraryProblem problem) {
  problem.ownMachine = kOwnMachine;
  FormatLibraryProblem(problem, problem_, sizeof problem_);
}

#if defined(__i386__)

int32_t PanelLibrary::Open(int32_t device, int32_t width, int32_t height, int32_t* error) {
  const uint32_t arguments[] = {Word(device), Word(width), Word(height), Word(error)};
  return LumoraCallKeepingStack(open_, arguments, std::size(arguments));
}

int32_t PanelLibrary::Cmd(int32_t handle, uint8_t* packet) {
  const uint32_t arguments[] = {Word(handle), Word(packet)};
  return LumoraCallKeepingStack(cmd_, arguments, std::size(arguments));
}

int32_t PanelLibrary::Close(int32_t handle) {
  const uint32_t arguments[] = {Word(handle)};
  return LumoraCallKeepingStack(close_, arguments, std::size(arguments));
}

#else

int32_t PanelLibrary::Open(int32_t device, int32_t width, int32_t height, int32_t* error) {
  using OpenFunction = int32_t (*)(int32_t, int32_t, int32_t, int32_t*);
  return reinterpret_cast<OpenFunction>(open_)(device, width, height, error);
}

int32_t PanelLibrary::Cmd(int32_t handle, uint8_t* packet) {
  using CmdFunction = int32_t (*)(int32_t, uint8_t*);
  return reinterpret_cast<CmdFunction>(cmd_)(handle, packet);
}

int32_t PanelLibrary::Close(int32_t handle) {
  using CloseFunction = int32_t (*)(int32_t);
  return reinterpret_cast<CloseFunction>(close_)(handle);
}

#endif

}  // namespace lumora::win32
