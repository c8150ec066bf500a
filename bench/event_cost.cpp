// Delivers one situation's unit of messages (bench/event_cases.h) a given number of times, or
// builds one kind of packet that many times, for instruction counts under callgrind: the
// difference between two counts of the same situation is the cost of the extra units alone,
// set-up and start-up cancelled out, and it is the same on every run whatever else the machine
// is doing.
//
//   lumora_event_cost SITUATION COUNT     e.g. lumora_event_cost ItemNumber_LiveTv 1000
//   lumora_event_cost --list
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "bench/agent_rig.h"
#include "bench/event_cases.h"
#include "bench/null_platform.h"
#include "panel/vfd_cmd.h"

namespace lumora::bench {
namespace {

struct PanelCase {
  const char* name;
  int32_t (*build)(CVFDCmd& panel);
};

constexpr PanelCase kPanelCases[] = {
    {"Panel_WriteText", [](CVFDCmd& p) { return p.WriteText(kCmdLine2, 0, "CH-007     "); }},
    {"Panel_SetIcon", [](CVFDCmd& p) { return p.SetIcon(Icon::Play, 1); }},
    {"Panel_ShowClock_Time", [](CVFDCmd& p) { return p.ShowClock(0); }},
    {"Panel_ShowClock_Date", [](CVFDCmd& p) { return p.ShowClock(1); }},
};

int Main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const EventCase& c : EventCases())
      std::printf("%s\n", c.name);
    for (const PanelCase& c : kPanelCases)
      std::printf("%s\n", c.name);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: lumora_event_cost SITUATION COUNT | --list\n");
    return 2;
  }
  const std::string_view name = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  if (const EventCase* c = FindEventCase(name)) {
    AgentRig rig;
    rig.DeliverAll(c->setUp());
    const std::vector<Message> unit = c->unit();
    rig.DeliverAll(unit);
    const uint64_t before = rig.platform.packets;
    for (long i = 0; i < count; ++i)
      rig.DeliverAll(unit);
    std::printf("%s: %ld units, %llu packets\n", c->name, count,
                static_cast<unsigned long long>(rig.platform.packets - before));
    return 0;
  }
  for (const PanelCase& c : kPanelCases) {
    if (name != c.name) continue;
    NullPlatform platform;
    CVFDCmd panel(platform);
    for (long i = 0; i < count; ++i)
      c.build(panel);
    std::printf("%s: %ld packets\n", c.name, static_cast<long>(platform.packets));
    return 0;
  }
  std::fprintf(stderr, "lumora_event_cost: no situation %s (see --list)\n", argv[1]);
  return 2;
}

}  // namespace
}  // namespace lumora::bench

int main(int argc, char** argv) {
  return lumora::bench::Main(argc, argv);
}
