// Runs a parsed scenario against the real agent core on the virtual platform.
#pragma once

#include "app/replay/virtual_platform.h"
#include "scenario/scenario.h"

namespace lumora::replay {

using scenario::Directive;
using scenario::DirectiveKind;
using scenario::Scenario;

// Told about the run as it goes, for pictures of the panel after each scenario line.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A machine starts: at the beginning and after each run boundary. Its platform's clock is the
  // replay's one virtual clock until the next run boundary; the platform outlives the calls
  // that the run makes meanwhile.
  virtual void MachineStarted(const VirtualPlatform& /*platform*/) {}
  // After a directive has taken effect (for a message: after the agent handled it).
  virtual void AfterDirective(const Directive& /*directive*/) {}
};

// The agent starts (construction, then dialog initialisation) just before the first message
// directive, or at the end when there is none, and shuts down at `close` or at the end.
void RunScenario(const Scenario& scenario, TraceSink& sink, RunObserver* observer = nullptr);

}  // namespace lumora::replay
