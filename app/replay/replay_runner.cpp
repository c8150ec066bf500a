#include "app/replay/replay_runner.h"

#include <memory>

#include "app/agent_dlg.h"
#include "base/media_event.h"

namespace lumora::replay {

class ScenarioRun::Machine {
 public:
  explicit Machine(TraceSink& sink) : platform_(&sink) {}

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

ScenarioRun::ScenarioRun(TraceSink& sink, RunObserver* observer)
    : sink_(sink), observer_(observer), machine_(std::make_unique<Machine>(sink)) {
  if (observer_ != nullptr) observer_->MachineStarted(machine_->platform());
}

ScenarioRun::~ScenarioRun() = default;

void ScenarioRun::Apply(const Directive& d) {
  if (d.kind == DirectiveKind::Run) {
    // The agent ends (started first when the run had no message, as it starts and ends live),
    // and the next run begins on a fresh machine.
    machine_->Finish();
    machine_ = std::make_unique<Machine>(sink_);
    if (observer_ != nullptr) observer_->MachineStarted(machine_->platform());
  } else {
    machine_->Apply(d);
  }
  if (observer_ != nullptr) observer_->AfterDirective(d);
}

void ScenarioRun::Finish() {
  machine_->Finish();
}

void RunScenario(const Scenario& scenario, TraceSink& sink, RunObserver* observer) {
  ScenarioRun run(sink, observer);
  for (const Directive& d : scenario.directives)
    run.Apply(d);
  run.Finish();
}

bool ScenarioReplay::Check(std::string_view path, scenario::InputError& error) {
  if (!lines_.Open(path, error)) return false;
  scenario::ScenarioParser parser(false);
  scenario::ParseError malformed;
  Directive d;
  std::string_view line;
  // Read to the end even past a malformed line: a line beyond the bound, or an input that
  // cannot be read, is the problem to report first.
  while (lines_.Next(line, error)) {
    bool isDirective = false;
    if (malformed.line == 0) parser.Line(line, d, isDirective, malformed);
  }
  if (!error.reason.empty()) return false;
  if (malformed.line != 0) {
    error = {malformed.line, malformed.reason};
    return false;
  }
  return lines_.Rewind(error);
}

bool ScenarioReplay::Run(TraceSink& sink, RunObserver* observer, bool captions,
                         scenario::InputError& error) {
  scenario::ScenarioParser parser(captions);
  scenario::ParseError malformed;
  ScenarioRun run(sink, observer);
  Directive d;
  std::string_view line;
  while (lines_.Next(line, error)) {
    bool isDirective = false;
    // Every line passed the check; the same bytes read again parse the same, unless the file
    // was rewritten in between.
    if (!parser.Line(line, d, isDirective, malformed)) {
      error = {0, "it changed while it was read"};
      return false;
    }
    if (isDirective) run.Apply(d);
  }
  if (!error.reason.empty()) return false;
  run.Finish();
  return true;
}

}  // namespace lumora::replay
