// CAgentDlg: the agent's hidden main window, as the portable core sees it. It owns the panel
// wrapper and the media state engine, initialises them, and its window procedure routes every
// incoming message — Media State Events, power messages, the end of the Windows session, the
// clock timer — before handing it to the host framework's own processing.
//
// A host (Win32, Linux, replay) creates the window, gives the core its Platform, calls
// OnInitDialog once the window exists, and passes every message through WindowProc.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "engine/agent_state.h"
#include "engine/media_engine.h"
#include "panel/vfd_cmd.h"

namespace lumora {

class CAgentDlg {
 public:
  // Builds the members and opens the panel (showing the open-error box when that fails).
  explicit CAgentDlg(Platform& platform, ProcessState& process = TheProcessState());
  // Closes the device without clearing the panel: it keeps its last content.
  virtual ~CAgentDlg() = default;
  CAgentDlg(const CAgentDlg&) = delete;
  CAgentDlg& operator=(const CAgentDlg&) = delete;

  // The agent's part of the dialog initialisation, after the host has set the window's icons
  // and its title "Lumora": resets the Agent State and the collections, sends the panel option
  // 3 and a clear, and starts timer 1. Returns true.
  bool OnInitDialog();

  // Sees every message first; returns the framework's result for it.
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

  const MediaEngine& engine() const { return engine_; }
  MediaEngine& engine() { return engine_; }
  const CVFDCmd& panel() const { return panel_; }
  uintptr_t timerId() const { return timerId_; }

 private:
  void Route(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void RoutePower(uintptr_t code);

  Platform& platform_;
  // The panel is built (the device opened) before the engine that is handed it.
  CVFDCmd panel_;
  MediaEngine engine_;
  uintptr_t timerId_ = 0;
};

}  // namespace lumora
