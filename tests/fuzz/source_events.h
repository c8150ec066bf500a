// What every source (the Kodi bridge, the desktop players) hands the agent, checked by the
// harnesses of the sources: every event a code of the catalogue with a text field of at most 32
// characters in its payload's format (six digits for a play time, a level of 0 to 255, texts
// without control characters or blanks at an end); the shell session opened first; no event for
// a session before it is opened or after it is closed; the shell closed only after its media
// sessions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

#include "sources/media_source.h"

namespace lumora::fuzz {

class CheckingSink : public sources::EventSink {
 public:
  // source names the harness in what a violation says ("kodi", "mpris").
  explicit CheckingSink(const char* source) : source_(source) {}
  bool Deliver(const sources::SourceEvent& event) override;
  size_t openSessions() const { return open_.size(); }

 private:
  const char* source_;
  std::set<int32_t> open_;
};

}  // namespace lumora::fuzz
