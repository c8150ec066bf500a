// The recording stand-in of the display library: PanelDrv.dll on Windows, a shared library on
// Linux. There is no panel behind it. Every call is recorded as one trace line (open, cmd,
// close), the same lines that lumora-replay prints, so a trace of the real agent compares with a
// replayed one line by line.
//
//   LUMORA_PANEL_TRACE=FILE   each OpenVFD (re)opens FILE for appending; every call then adds
//                             its line, flushed at once, so a killed agent loses nothing.
//                             Unset or empty: nothing is recorded and every call succeeds.
//   LUMORA_PANEL_FAIL         set (to anything): OpenVFD records its line and fails, returning
//                             -1 with the error code 1167 (ERROR_DEVICE_NOT_CONNECTED); the
//                             agent then shows "OpenVFD Error: 1167".
//
// When FILE cannot be opened for writing, OpenVFD fails with the error code 110
// (ERROR_OPEN_FAILED), so a trace that would be lost shows as the agent's open-error box.
// The agent calls the library from its one thread only; so does this stand-in's state.
#include <cstdio>
#include <cstdlib>

#include "panel/trace_line.h"
#include "paneldrv/panel_drv.h"

namespace {

constexpr int kHandle = 1;
constexpr int kErrorDeviceNotConnected = 1167;
constexpr int kErrorOpenFailed = 110;

std::FILE* traceFile = nullptr;
lumora::FileTraceSink traceSink{nullptr};
lumora::TraceWriter trace{nullptr};

void CloseTrace() {
  trace = lumora::TraceWriter{nullptr};
  if (traceFile != nullptr) std::fclose(traceFile);
  traceFile = nullptr;
}

}  // namespace

int PANELDRV_CALL OpenVFD(int device, int a, int b, int* error) {
  CloseTrace();
  const char* path = std::getenv("LUMORA_PANEL_TRACE");
  if (path != nullptr && path[0] != '\0') {
    traceFile = std::fopen(path, "ab");
    if (traceFile == nullptr) {
      if (error != nullptr) *error = kErrorOpenFailed;
      return -1;
    }
    traceSink = lumora::FileTraceSink{traceFile};
    trace = lumora::TraceWriter{&traceSink};
  }
  trace.Open(device, a, b);
  if (std::getenv("LUMORA_PANEL_FAIL") != nullptr) {
    if (error != nullptr) *error = kErrorDeviceNotConnected;
    return -1;
  }
  return kHandle;
}

int PANELDRV_CALL VFD_Cmd(int handle, unsigned char* packet) {
  if (packet == nullptr) return 0;
  trace.Cmd(packet);
  return handle == kHandle ? 1 : 0;
}

int PANELDRV_CALL CloseVFD(int handle) {
  trace.Close();
  CloseTrace();
  return handle == kHandle ? 1 : 0;
}
