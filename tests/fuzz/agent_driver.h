// One run of the agent for the harnesses: a CheckingPlatform, a real CAgentDlg with its own
// process-wide values, and the invariant checks after every message the agent handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/agent_dlg.h"
#include "tests/fuzz/checking_platform.h"

namespace lumora::fuzz {

// How a WM_COPYDATA reaches the window procedure.
inline constexpr uint8_t kCopyDataNoStruct = 0x01;  // lParam 0: no COPYDATASTRUCT at all
inline constexpr uint8_t kCopyDataNullData = 0x02;  // empty data without a data pointer

class AgentDriver {
 public:
  // With trace, every call across the platform boundary is recorded there as a trace line.
  explicit AgentDriver(std::vector<std::string>* trace = nullptr, uint64_t maxTicks = UINT64_MAX);
  ~AgentDriver();
  AgentDriver(const AgentDriver&) = delete;
  AgentDriver& operator=(const AgentDriver&) = delete;

  CheckingPlatform& platform() { return platform_; }

  // The agent is built and initialised, unless it runs or has gone already. Every message
  // below starts it first, as the replay does before its first message.
  void Start();
  // Delivers one message and checks the invariants; nothing once the agent has gone.
  intptr_t Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // WM_COPYDATA whose data lie in a heap block of exactly their size, so that a read past
  // their end is caught.
  intptr_t CopyData(uintptr_t dwData, const uint8_t* data, size_t size, uint8_t flags = 0,
                    uintptr_t wParam = 0);
  // count times: one second later, WM_TIMER 1. Ticks beyond the driver's budget are skipped.
  void Ticks(uint64_t count);
  // The window goes away: WM_DESTROY, then the window object with its panel wrapper; the
  // device must be closed and the timer gone.
  void Shutdown();

  bool closed() const { return closed_; }
  // The agent while it runs (null before the start and after the end) and its process values.
  const CAgentDlg* agent() const { return agent_.get(); }
  const ProcessState& process() const { return process_; }

 private:
  CheckingPlatform platform_;
  ProcessState process_;
  std::unique_ptr<CAgentDlg> agent_;
  uint64_t ticksLeft_;
  bool closed_ = false;
};

}  // namespace lumora::fuzz
