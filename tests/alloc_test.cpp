// Heap allocations of event handling. The agent sits beside video playback and handles every
// message without touching the heap; the only allocations it may make are the nodes of the
// Session Table and the Picture Session List, ten nodes to a block, taken when a collection
// needs more nodes than its blocks hold and all released when it becomes empty.
//
// This program replaces the global operator new and delete with counting ones
// (bench/alloc_count.cpp), drives the real agent through its window procedure on a null display
// library, and compares the counts with that rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "bench/agent_rig.h"
#include "bench/alloc_count.h"
#include "bench/evening_mix.h"
#include "scenario/scenario.h"

namespace lumora::bench {
namespace {

constexpr int32_t kNodesPerBlock = 10;

// Counts the allocations and deallocations made between its construction and Take().
class AllocWindow {
 public:
  AllocWindow() : start_(CurrentAllocCounts()) {}
  AllocCounts Take() const {
    const AllocCounts now = CurrentAllocCounts();
    return {now.allocations - start_.allocations, now.deallocations - start_.deallocations};
  }

 private:
  AllocCounts start_;
};

TEST(EventPathAllocations, EveningMixAllocatesNothingInSteadyState) {
  const std::vector<Message> prologue = EveningPrologue();
  const std::vector<Message> cycle = EveningCycle();
  auto rig = std::make_unique<AgentRig>();
  rig->DeliverAll(prologue);
  rig->DeliverAll(cycle);  // warm-up: every node the evening needs exists from here on
  rig->DeliverAll(cycle);

  constexpr int kCycles = 200;
  const uint64_t packetsBefore = rig->platform.packets;
  const uint64_t sleepsBefore = rig->platform.sleeps;
  const AllocWindow window;
  for (int i = 0; i < kCycles; ++i)
    rig->DeliverAll(cycle);
  const AllocCounts counts = window.Take();

  EXPECT_EQ(counts.allocations, 0u);
  EXPECT_EQ(counts.deallocations, 0u);
  // The mix did drive the panel, waited on menu screens and the eject notice, and closed every
  // session it opened: only the shell and the background slide show are left.
  EXPECT_GT(rig->platform.packets - packetsBefore, 100u * kCycles);
  EXPECT_EQ(rig->platform.sleeps - sleepsBefore, 2u * kCycles);
  EXPECT_EQ(rig->agent.engine().sessions().records().Count(), 2);
  EXPECT_EQ(rig->agent.engine().pictureSessions().PictureSessionCount(), 1);
}

// Opening sessions from an empty table takes one block per ten records; closing them all
// releases every block; the nodes of closed sessions are reused while any record remains.
TEST(EventPathAllocations, SessionRecordsAllocateInBlocksOfTen) {
  struct Case {
    int32_t sessions;
    uint64_t blocks;
  };
  for (const Case& c : {Case{1, 1}, Case{10, 1}, Case{11, 2}, Case{25, 3}}) {
    SCOPED_TRACE("sessions " + std::to_string(c.sessions));
    std::vector<Message> open;
    std::vector<Message> close;
    for (int32_t sid = 100; sid < 100 + c.sessions; ++sid) {
      open.push_back(Message::Event(sid, EventCode::SessionOpened));
      close.push_back(Message::Event(sid, EventCode::SessionClosed));
    }
    const Message reopenFirst = Message::Event(100, EventCode::SessionOpened);
    const Message closeFirst = Message::Event(100, EventCode::SessionClosed);
    auto rig = std::make_unique<AgentRig>();

    const AllocWindow opening;
    rig->DeliverAll(open);
    EXPECT_EQ(opening.Take().allocations, c.blocks);
    EXPECT_EQ(opening.Take().deallocations, 0u);

    if (c.sessions > 1) {
      // A session closes and opens again while others stay: its node is reused.
      const AllocWindow churn;
      rig->Deliver(closeFirst);
      rig->Deliver(reopenFirst);
      EXPECT_EQ(churn.Take().allocations, 0u);
      EXPECT_EQ(churn.Take().deallocations, 0u);
    }

    const AllocWindow closing;
    rig->DeliverAll(close);
    EXPECT_EQ(closing.Take().allocations, 0u);
    EXPECT_EQ(closing.Take().deallocations, c.blocks);
    EXPECT_EQ(rig->agent.engine().sessions().records().Count(), 0);

    // From empty again, the first record takes a new block.
    const AllocWindow again;
    rig->Deliver(reopenFirst);
    EXPECT_EQ(again.Take().allocations, 1u);
  }
}

// The rule, followed message by message: how many blocks each collection must hold for its
// records, given that blocks are only released when it becomes empty.
class BlockRule {
 public:
  void After(const CAgentDlg& agent) {
    Follow(sessionBlocks_, agent.engine().sessions().records().Count());
    Follow(pictureBlocks_, agent.engine().pictureSessions().PictureSessionCount());
  }
  uint64_t taken() const { return taken_; }
  uint64_t released() const { return released_; }

 private:
  void Follow(int32_t& blocks, int32_t count) {
    if (count == 0) {
      released_ += static_cast<uint64_t>(blocks);
      blocks = 0;
    }
    while (count > blocks * kNodesPerBlock) {
      ++blocks;
      ++taken_;
    }
  }
  int32_t sessionBlocks_ = 0;
  int32_t pictureBlocks_ = 0;
  uint64_t taken_ = 0;
  uint64_t released_ = 0;
};

std::vector<Message> MessagesOf(const scenario::Scenario& scenario) {
  std::vector<Message> messages;
  for (const scenario::Directive& d : scenario.directives) {
    switch (d.kind) {
      case scenario::DirectiveKind::Event:
        messages.push_back(Message::Event(d.sessionId, static_cast<EventCode>(d.code), d.bytes));
        break;
      case scenario::DirectiveKind::CopyData:
        messages.push_back(Message::CopyData(static_cast<uintptr_t>(d.number),
                                             std::vector<uint8_t>(d.bytes.begin(), d.bytes.end())));
        break;
      case scenario::DirectiveKind::Power:
        messages.push_back(Message::Power(static_cast<uintptr_t>(d.number)));
        break;
      case scenario::DirectiveKind::EndSession:
        messages.push_back(Message::EndSession(static_cast<uintptr_t>(d.number)));
        break;
      case scenario::DirectiveKind::Tick:
        for (uint64_t i = 0; i < d.number; ++i)
          messages.push_back(Message::Timer());
        break;
      case scenario::DirectiveKind::Timer:
        messages.push_back(Message::Timer(static_cast<uintptr_t>(d.number)));
        break;
      case scenario::DirectiveKind::Close:
        return messages;
      default:
        break;  // set-up of clock, locale and device: no bearing on the heap
    }
  }
  return messages;
}

// Every golden scenario, on a fresh agent: whatever paths they take, the heap sees exactly the
// record blocks that the rule asks for and nothing else.
TEST(EventPathAllocations, GoldenScenariosAllocateOnlyRecordBlocks) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(LUMORA_SOURCE_DIR) / "tests/golden")) {
    if (entry.path().extension() == ".scn") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());

  size_t messagesRun = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    scenario::Scenario scenario;
    scenario::ParseError error;
    ASSERT_TRUE(scenario::ParseScenario(text, scenario, error))
        << "line " << error.line << ": " << error.reason;
    const std::vector<Message> messages = MessagesOf(scenario);
    auto rig = std::make_unique<AgentRig>();
    BlockRule rule;

    const AllocWindow window;
    for (const Message& m : messages) {
      rig->Deliver(m);
      rule.After(rig->agent);
    }
    const AllocCounts counts = window.Take();
    EXPECT_EQ(counts.allocations, rule.taken());
    EXPECT_EQ(counts.deallocations, rule.released());
    messagesRun += messages.size();
  }
  EXPECT_GT(messagesRun, files.size());
}

}  // namespace
}  // namespace lumora::bench
