// The cost of handling each kind of message through the agent's window procedure, on a null
// display library, and the cost of the packet builders alone. Each benchmark brings the agent
// into a state by real events, then delivers the measured message (or pair of messages, where
// the state would not otherwise repeat) again and again.
//
// Counters: packets = panel packets sent per iteration (each one is one 1 ms report on the
// panel link), allocs = heap allocations per iteration, sleeps = 1000 ms waits per iteration
// (the null platform returns from them at once), events = messages per iteration.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/agent_dlg.h"
#include "base/event_catalogue.h"
#include "bench/agent_rig.h"
#include "bench/alloc_count.h"
#include "bench/event_cases.h"
#include "panel/vfd_cmd.h"

namespace lumora::bench {
namespace {

// Heap allocations per delivery of the unit, counted over many deliveries outside the timed
// loop (the benchmark library itself allocates around its timed loop).
double AllocationsPerUnit(AgentRig& rig, const std::vector<Message>& unit) {
  constexpr int kRounds = 1000;
  const uint64_t before = CurrentAllocCounts().allocations;
  for (int i = 0; i < kRounds; ++i) {
    for (const Message& m : unit)
      rig.Deliver(m);
  }
  return static_cast<double>(CurrentAllocCounts().allocations - before) / kRounds;
}

// Delivers the unit of messages once per iteration and reports the counters per iteration.
void Run(benchmark::State& state, AgentRig& rig, const std::vector<Message>& unit) {
  const double allocs = AllocationsPerUnit(rig, unit);
  const uint64_t packets = rig.platform.packets;
  const uint64_t sleeps = rig.platform.sleeps;
  for (auto _ : state) {
    for (const Message& m : unit)
      benchmark::DoNotOptimize(rig.Deliver(m));
  }
  using C = benchmark::Counter;
  const auto events = static_cast<double>(unit.size());
  state.counters["packets"] =
      C(static_cast<double>(rig.platform.packets - packets), C::kAvgIterations);
  state.counters["sleeps"] =
      C(static_cast<double>(rig.platform.sleeps - sleeps), C::kAvgIterations);
  state.counters["allocs"] = allocs;
  state.counters["events"] = events;
  // Seconds of CPU per message: the iteration's time shared among its messages.
  state.counters["t_event"] = C(events, C::kIsIterationInvariantRate | C::kInvert);
}

// One benchmark per situation of bench/event_cases.h, named BM_<situation>.
void Situation(benchmark::State& state, const EventCase* c) {
  AgentRig rig;
  rig.DeliverAll(c->setUp());
  const std::vector<Message> unit = c->unit();
  rig.DeliverAll(unit);  // once before measuring, so the first iteration is like every other
  Run(state, rig, unit);
}

const bool kRegistered = [] {
  for (const EventCase& c : EventCases()) {
    benchmark::RegisterBenchmark((std::string("BM_") + c.name).c_str(), Situation, &c);
  }
  return true;
}();

// --- The packet builders alone ---

struct PanelRig {
  NullPlatform platform;
  CVFDCmd panel{platform};
};

template <typename Build>
void Packets(benchmark::State& state, Build build) {
  PanelRig rig;
  constexpr int kRounds = 1000;
  const uint64_t before = CurrentAllocCounts().allocations;
  for (int i = 0; i < kRounds; ++i)
    build(rig.panel);
  const double allocs = static_cast<double>(CurrentAllocCounts().allocations - before) / kRounds;
  const uint64_t packets = rig.platform.packets;
  for (auto _ : state)
    benchmark::DoNotOptimize(build(rig.panel));
  using C = benchmark::Counter;
  state.counters["packets"] =
      C(static_cast<double>(rig.platform.packets - packets), C::kAvgIterations);
  state.counters["allocs"] = allocs;
}

void BM_Panel_WriteText(benchmark::State& state) {
  Packets(state, [](CVFDCmd& panel) { return panel.WriteText(kCmdLine2, 0, "CH-007     "); });
}
BENCHMARK(BM_Panel_WriteText);

void BM_Panel_WriteText60(benchmark::State& state) {
  static const char kLong[] = "0123456789012345678901234567890123456789012345678901234567890123";
  Packets(state, [](CVFDCmd& panel) { return panel.WriteText(kCmdLine2, 54, kLong); });
}
BENCHMARK(BM_Panel_WriteText60);

void BM_Panel_SetIcon(benchmark::State& state) {
  Packets(state, [](CVFDCmd& panel) { return panel.SetIcon(Icon::Play, 1); });
}
BENCHMARK(BM_Panel_SetIcon);

void BM_Panel_ShowClock_Time(benchmark::State& state) {
  Packets(state, [](CVFDCmd& panel) { return panel.ShowClock(0); });
}
BENCHMARK(BM_Panel_ShowClock_Time);

void BM_Panel_ShowClock_Date(benchmark::State& state) {
  Packets(state, [](CVFDCmd& panel) { return panel.ShowClock(1); });
}
BENCHMARK(BM_Panel_ShowClock_Date);

}  // namespace
}  // namespace lumora::bench

BENCHMARK_MAIN();
