// The panel emulator as a display library inside the agent's process: the same three functions
// as the real panel library (open the device, take one command packet, close it), a panel state
// that holds what a real panel would show, a face that shows it (terminal, plain lines or none),
// and, when asked, the trace lines of every call, the same lines that lumora-replay prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "base/posix/monotonic_clock.h"
#include "panel/trace_line.h"
#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/emulator/panel_view.h"

namespace lumora::emulator {

class EmulatedPanel {
 public:
  // view and trace may be null (no face, no trace); clock gives the time in milliseconds.
  EmulatedPanel(PanelView* view, TraceWriter* trace, int64_t (*clock)() = lumora::MonotonicMs);

  // The device cannot be opened: OpenVFD answers -1 and this error code.
  void FailOpen(int32_t error) {
    failOpen_ = true;
    openError_ = error;
  }

  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error);
  int32_t VFD_Cmd(int32_t handle, const uint8_t* packet);
  int32_t CloseVFD(int32_t handle);

  // Lets the face move what moves on its own (scrolling text, the panel's own clock).
  void Animate();
  // How often Animate wants to run, in milliseconds; 0 when never.
  int AnimationIntervalMs() const;
  // The face's output when it holds bytes the terminal has not taken yet (watch it for
  // POLLOUT, then call FlushFace); -1 otherwise.
  int PendingFaceFd() const { return view_ != nullptr ? view_->PendingFd() : -1; }
  short PendingFaceEvents() const { return view_ != nullptr ? view_->PendingEvents() : 0; }
  void FlushFace() {
    if (view_ != nullptr) view_->Flush();
  }

  bool open() const { return open_; }
  const PanelState& state() const { return state_; }

 private:
  PanelView* view_;
  TraceWriter* trace_;
  int64_t (*clock_)();
  PanelState state_;
  bool open_ = false;
  bool failOpen_ = false;
  int32_t openError_ = 0;
};

}  // namespace lumora::emulator
