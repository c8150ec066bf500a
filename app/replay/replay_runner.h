// Runs a scenario against the real agent core on the virtual platform: a parsed one, or one read
// line by line from a file of any length.
#pragma once

#include <memory>
#include <string_view>

#include "app/replay/virtual_platform.h"
#include "scenario/scenario.h"
#include "scenario/scenario_input.h"

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

// A run fed one directive at a time, as the scenario is read: it holds the agent and its
// virtual machine, nothing of the directives before. The agent starts (construction, then
// dialog initialisation) just before the first message directive, or at the end when there is
// none, and shuts down at `close`, at a run boundary (the next run starting afresh) or at the
// end.
class ScenarioRun {
 public:
  explicit ScenarioRun(TraceSink& sink, RunObserver* observer = nullptr);
  ~ScenarioRun();
  ScenarioRun(const ScenarioRun&) = delete;
  ScenarioRun& operator=(const ScenarioRun&) = delete;

  void Apply(const Directive& directive);
  // The end of the scenario.
  void Finish();

 private:
  class Machine;
  TraceSink& sink_;
  RunObserver* observer_;
  std::unique_ptr<Machine> machine_;
};

void RunScenario(const Scenario& scenario, TraceSink& sink, RunObserver* observer = nullptr);

// A scenario file (or standard input) replayed as it is read, in bounded memory however long it
// is: Check reads it whole once (the line bound, every directive), so that a malformed scenario
// runs nothing, and Run reads it again and runs each directive as its line comes.
class ScenarioReplay {
 public:
  // False with the first problem: the input cannot be read, a line is too long, or (when the
  // input is within its bounds) the first malformed line.
  bool Check(std::string_view path, scenario::InputError& error);
  // Runs the checked scenario; captions: the directives carry their "#>" captions. False when the
  // input could not be read again as it was checked.
  bool Run(TraceSink& sink, RunObserver* observer, bool captions, scenario::InputError& error);

 private:
  scenario::ScenarioLines lines_;
};

}  // namespace lumora::replay
