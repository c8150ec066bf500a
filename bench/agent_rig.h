// The real agent on the null platform, driven through its window procedure exactly as a host
// drives it: Media State Events arrive as WM_COPYDATA with a COPYDATASTRUCT that points at the
// 40-byte record, power messages as WM_POWERBROADCAST, the clock as WM_TIMER id 1.
//
// Messages are prepared before they are delivered (building them may allocate); delivering one
// does nothing but what a host does: fill a COPYDATASTRUCT on the stack and call WindowProc.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "bench/null_platform.h"

namespace lumora::bench {

struct Message {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  uintptr_t dwData = 0;       // WM_COPYDATA only
  std::vector<uint8_t> data;  // WM_COPYDATA only: the payload that lpData points at

  static Message Event(int32_t sessionId, EventCode code, std::string_view text = {}) {
    Message m;
    m.message = kWmCopyData;
    m.dwData = kMediaStateEventMarker;
    uint8_t record[kMediaStateEventSize];
    EncodeMediaStateEvent(sessionId, ToCode(code), text.data(), text.size(), record);
    m.data.assign(record, record + sizeof record);
    return m;
  }
  static Message CopyData(uintptr_t dwData, std::vector<uint8_t> data) {
    Message m;
    m.message = kWmCopyData;
    m.dwData = dwData;
    m.data = std::move(data);
    return m;
  }
  static Message Power(uintptr_t code) { return Message{kWmPowerBroadcast, code, 0, {}}; }
  static Message EndSession(uintptr_t wParam) { return Message{kWmEndSession, wParam, 0, {}}; }
  static Message Timer(uintptr_t id = kClockTimerId) { return Message{kWmTimer, id, 0, {}}; }
};

class AgentRig {
 public:
  NullPlatform platform;
  ProcessState process;
  CAgentDlg agent{platform, process};

  AgentRig() { agent.OnInitDialog(); }

  intptr_t Deliver(const Message& m) {
    if (m.message != kWmCopyData) return agent.WindowProc(m.message, m.wParam, 0);
    CopyDataStruct cds;
    cds.dwData = m.dwData;
    cds.cbData = static_cast<uint32_t>(m.data.size());
    cds.lpData = m.data.empty() ? nullptr : m.data.data();
    return agent.WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }
  void DeliverAll(const std::vector<Message>& messages) {
    for (const Message& m : messages)
      Deliver(m);
  }
};

}  // namespace lumora::bench
