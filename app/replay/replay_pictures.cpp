#include "app/replay/replay_pictures.h"

#include <string>

#include "base/event_catalogue.h"
#include "base/text_quote.h"

namespace lumora::replay {

int64_t ReplayPictures::NowMs() const {
  // Before the first machine starts nothing is sent; the default stage's time stands in.
  return platform_ != nullptr ? platform_->nowMs() : EpochMsFromLocalTime(scenario::kDefaultTime);
}

void ReplayPictures::Line(const char* text, size_t length) {
  trace_.Line(text, length);
  book_.Call(std::string_view(text, length));
}

void ReplayPictures::Packet(const uint8_t* packet) {
  trace_.Packet(packet);
  book_.Packet(packet, NowMs());
}

void ReplayPictures::AfterDirective(const Directive& d) {
  emulator::PanelPicture step;
  step.line = d.line;
  step.source = d.source;
  step.captions = d.captions;
  step.waitMs = d.waitMs;
  const int64_t nowMs = NowMs();
  step.virtualTime = scenario::FormatDateTime(LocalTimeFromEpochMs(nowMs));
  if (d.kind == DirectiveKind::Event) {
    const EventInfo* event = FindEvent(d.code);
    step.name = event != nullptr ? std::string(event->name) : std::to_string(d.code);
    step.session = std::to_string(d.sessionId);
    // The text as the readable trace and the agent's log show it.
    if (!d.bytes.empty()) step.text = QuoteDisplayText(d.bytes);
  } else if (d.kind == DirectiveKind::Tick) {
    step.name = "tick";
    step.ticks = d.number;
  } else {
    step.name = d.source;
  }
  book_.EndStep(std::move(step), nowMs);
}

}  // namespace lumora::replay
