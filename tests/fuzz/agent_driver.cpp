#include "tests/fuzz/agent_driver.h"

#include <algorithm>

#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

AgentDriver::AgentDriver(std::vector<std::string>* trace, uint64_t maxTicks)
    : ticksLeft_(maxTicks) {
  platform_.RecordTrace(trace);
}

AgentDriver::~AgentDriver() {
  Shutdown();
}

void AgentDriver::Start() {
  if (agent_ || closed_) return;
  agent_ = std::make_unique<CAgentDlg>(platform_, process_);
  agent_->OnInitDialog();
  CheckAgent(*agent_, process_);
}

intptr_t AgentDriver::Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Start();
  if (!agent_) return 0;
  const intptr_t result = agent_->WindowProc(message, wParam, lParam);
  CheckAgent(*agent_, process_);
  return result;
}

intptr_t AgentDriver::CopyData(uintptr_t dwData, const uint8_t* data, size_t size, uint8_t flags,
                               uintptr_t wParam) {
  if ((flags & kCopyDataNoStruct) != 0) return Deliver(kWmCopyData, wParam, 0);
  const std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
  std::copy(data, data + size, block.get());
  CopyDataStruct cds;
  cds.dwData = dwData;
  cds.cbData = static_cast<uint32_t>(size);
  cds.lpData = size == 0 && (flags & kCopyDataNullData) != 0 ? nullptr : block.get();
  return Deliver(kWmCopyData, wParam, reinterpret_cast<intptr_t>(&cds));
}

void AgentDriver::Ticks(uint64_t count) {
  Start();
  count = std::min(count, ticksLeft_);
  ticksLeft_ -= count;
  for (uint64_t i = 0; i < count && !closed_; ++i) {
    platform_.AdvanceMs(1000);
    Deliver(kWmTimer, kClockTimerId, 0);
  }
}

void AgentDriver::Shutdown() {
  if (closed_) return;
  Start();
  Deliver(kWmDestroy, 0, 0);
  agent_.reset();
  closed_ = true;
  platform_.Finished();
}

}  // namespace lumora::fuzz
