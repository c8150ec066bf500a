// The pictures of a replay: the emulated panel drawn after each scenario line, on the replay's
// one virtual clock. It stands between the run and the trace's sink: every trace line goes on
// to the sink and into the picture book, every packet to the panel model at the time the
// virtual platform has then, and each directive ends a step described by its scenario line.
#pragma once

#include <vector>

#include "app/replay/replay_runner.h"
#include "app/replay/virtual_platform.h"
#include "paneldrv/emulator/panel_pictures.h"

namespace lumora::replay {

class ReplayPictures final : public TraceSink, public RunObserver {
 public:
  // trace receives the trace as the run writes it.
  explicit ReplayPictures(TraceSink& trace) : trace_(trace) {}

  // --- TraceSink ---
  void Line(const char* text, size_t length) override;
  void Packet(const uint8_t* packet) override;

  // --- RunObserver ---
  void MachineStarted(const VirtualPlatform& platform) override { platform_ = &platform; }
  void AfterDirective(const Directive& directive) override;

  // The steps of the run so far, with their pictures.
  const std::vector<emulator::PanelPicture>& steps() const { return book_.steps(); }

 private:
  int64_t NowMs() const;

  TraceSink& trace_;
  const VirtualPlatform* platform_ = nullptr;
  emulator::PictureBook book_;
};

}  // namespace lumora::replay
