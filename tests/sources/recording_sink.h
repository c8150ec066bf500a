// What the tests of the translation core and its sources see of the agent: every event
// delivered, as "SESSION Name TEXT" (TEXT in the event's Windows-1252 bytes), and a clock the
// test moves by hand. An agent that takes only the first `takes` events stands for one that goes
// away.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/event_catalogue.h"
#include "sources/media_source.h"

namespace lumora::sources {

class RecordingSink : public EventSink {
 public:
  bool Deliver(const SourceEvent& event) override {
    EXPECT_LE(event.length, kTitleMax);
    EXPECT_EQ(event.text[event.length], '\0');
    if (++attempts > takes) return false;
    std::string line =
        std::to_string(event.sessionId) + " " + std::string(FindEvent(ToCode(event.code))->name);
    if (event.length > 0) line += " " + std::string(event.Text());
    events.push_back(line);
    return true;
  }
  // The events from the n-th on.
  std::vector<std::string> From(size_t n) const {
    return {events.begin() + static_cast<std::ptrdiff_t>(std::min(n, events.size())), events.end()};
  }
  std::vector<std::string> events;
  size_t takes = std::numeric_limits<size_t>::max();
  size_t attempts = 0;
};

// The core's clock in the tests: milliseconds, moved by the test.
struct TestClock {
  int64_t ms = 1000000;
  std::function<int64_t()> Function() {
    return [this] { return ms; };
  }
};

// Event by event, so that a difference shows where it is.
inline void ExpectEvents(const std::vector<std::string>& actual,
                         const std::vector<std::string>& expected) {
  for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    EXPECT_EQ(i < actual.size() ? actual[i] : "(none)",
              i < expected.size() ? expected[i] : "(none)")
        << "event " << i;
  }
}

}  // namespace lumora::sources
