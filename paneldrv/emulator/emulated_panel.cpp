#include "paneldrv/emulator/emulated_panel.h"

namespace lumora::emulator {

namespace {

// The one handle the emulated device hands out.
constexpr int32_t kHandle = 1;

}  // namespace

EmulatedPanel::EmulatedPanel(PanelView* view, TraceWriter* trace, int64_t (*clock)())
    : view_(view), trace_(trace), clock_(clock) {}

int32_t EmulatedPanel::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  if (trace_ != nullptr) trace_->Open(device, width, height);
  if (failOpen_) {
    if (error != nullptr) *error = openError_;
    return -1;
  }
  open_ = true;
  state_ = PanelState{};
  if (view_ != nullptr) view_->Opened(state_, clock_());
  return kHandle;
}

int32_t EmulatedPanel::VFD_Cmd(int32_t handle, const uint8_t* packet) {
  if (trace_ != nullptr) trace_->Cmd(packet);
  if (!open_ || handle != kHandle || packet == nullptr) return 0;
  const int64_t now = clock_();
  const PacketKind kind = state_.Apply(packet, now);
  if (view_ != nullptr) view_->Changed(state_, kind, now);
  return 1;
}

int32_t EmulatedPanel::CloseVFD(int32_t handle) {
  if (trace_ != nullptr) trace_->Close();
  if (!open_ || handle != kHandle) return 0;
  open_ = false;
  // The panel keeps its last content; only the face lets go of the terminal.
  if (view_ != nullptr) view_->Closed(state_, clock_());
  return 1;
}

void EmulatedPanel::Animate() {
  if (open_ && view_ != nullptr) view_->Animate(state_, clock_());
}

int EmulatedPanel::AnimationIntervalMs() const {
  return open_ && view_ != nullptr ? view_->AnimationIntervalMs() : 0;
}

}  // namespace lumora::emulator
