#include "app/replay/replay_runner.h"

#include <memory>

#include "app/agent_dlg.h"
#include "base/media_event.h"

namespace lumora::replay {

namespace {

class Run {
 public:
  explicit Run(TraceSink& sink) : platform_(&sink) {}

  void Apply(const Directive& d) {
    if (d.IsSetUp()) {
      SetUp(d);
      return;
    }
    if (!agent_) Start();
    switch (d.kind) {
      case DirectiveKind::Event: {
        uint8_t record[kMediaStateEventSize];
        EncodeMediaStateEvent(d.sessionId, d.code, d.bytes.data(), d.bytes.size(), record);
        CopyData(kMediaStateEventMarker, record, sizeof record);
        break;
      }
      case DirectiveKind::CopyData:
        CopyData(static_cast<uintptr_t>(d.number), d.bytes.data(), d.bytes.size());
        break;
      case DirectiveKind::Power:
        agent_->WindowProc(kWmPowerBroadcast, static_cast<uintptr_t>(d.number), 0);
        break;
      case DirectiveKind::EndSession:
        agent_->WindowProc(kWmEndSession, static_cast<uintptr_t>(d.number), 0);
        break;
      case DirectiveKind::Tick:
        for (uint64_t i = 0; i < d.number; ++i) {
          platform_.AdvanceMs(1000);
          agent_->WindowProc(kWmTimer, kClockTimerId, 0);
        }
        break;
      case DirectiveKind::Timer:
        agent_->WindowProc(kWmTimer, static_cast<uintptr_t>(d.number), 0);
        break;
      case DirectiveKind::Close:
        Shutdown();
        break;
      default:
        break;
    }
  }

  void Finish() {
    if (!agent_ && !closed_) Start();
    Shutdown();
  }

  const VirtualPlatform& platform() const { return platform_; }

 private:
  void SetUp(const Directive& d) {
    switch (d.kind) {
      case DirectiveKind::Time:
        platform_.SetTime(d.epochSeconds);
        break;
      case DirectiveKind::Lang:
        platform_.SetLocaleAnswer(d.text);
        break;
      case DirectiveKind::LangNone:
        platform_.SetLocaleFails();
        break;
      case DirectiveKind::DeviceNone:
        platform_.SetDeviceFails(d.error);
        break;
      default:
        break;
    }
  }

  void Start() {
    agent_ = std::make_unique<CAgentDlg>(platform_, process_);
    agent_->OnInitDialog();
  }

  void Shutdown() {
    if (!agent_) return;
    agent_->WindowProc(kWmDestroy, 0, 0);
    agent_.reset();
    closed_ = true;
  }

  void CopyData(uintptr_t dwData, const void* data, size_t size) {
    CopyDataStruct cds;
    cds.dwData = dwData;
    cds.cbData = static_cast<uint32_t>(size);
    // An empty payload carries no data pointer.
    cds.lpData = size == 0 ? nullptr : data;
    agent_->WindowProc(kWmCopyData, 0, reinterpret_cast<intptr_t>(&cds));
  }

  VirtualPlatform platform_;
  ProcessState process_;
  std::unique_ptr<CAgentDlg> agent_;
  bool closed_ = false;
};

}  // namespace

void RunScenario(const Scenario& scenario, TraceSink& sink, RunObserver* observer) {
  auto run = std::make_unique<Run>(sink);
  if (observer != nullptr) observer->MachineStarted(run->platform());
  for (const Directive& d : scenario.directives) {
    if (d.kind == DirectiveKind::Run) {
      // The agent ends (started first when the run had no message, as it starts and ends live),
      // and the next run begins on a fresh machine.
      run->Finish();
      run = std::make_unique<Run>(sink);
      if (observer != nullptr) observer->MachineStarted(run->platform());
    } else {
      run->Apply(d);
    }
    if (observer != nullptr) observer->AfterDirective(d);
  }
  run->Finish();
}

}  // namespace lumora::replay
