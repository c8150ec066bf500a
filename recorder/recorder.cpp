#include "recorder/recorder.h"

#include <algorithm>
#include <cstring>

#include "base/event_catalogue.h"
#include "base/media_event.h"
#include "base/text_quote.h"
#include "scenario/power_names.h"
#include "scenario/scenario.h"

namespace lumora::recorder {

// The recorder writes the scenario language.
using scenario::Directive;
using scenario::DirectiveKind;
using scenario::EpochSecondsOf;
using scenario::FormatDateTime;
using scenario::FormatDirective;
using scenario::kDefaultTime;

namespace {

constexpr int32_t kLocaleBufferSize = 128;  // the agent's own buffer for the answer

// The directive that delivers a WM_COPYDATA as the replay would: an `event` when the record is
// one the directive rebuilds byte for byte, `copydata` otherwise.
Directive CopyDataDirective(const CopyDataStruct& data) {
  Directive d;
  const auto* bytes = static_cast<const uint8_t*>(data.lpData);
  const size_t size = bytes == nullptr ? 0 : data.cbData;
  MediaStateEvent event;
  if (size == kMediaStateEventSize && bytes[6] == 0 && DecodeMediaStateEvent(data, event)) {
    // The decoded copy ends its text at byte 32; the field's own bytes say whether the
    // directive's text rebuilds them (its text, then nothing but zero bytes).
    const auto* text = reinterpret_cast<const char*>(bytes + kEventTextOffset);
    const size_t length = strnlen(text, kEventTextSize);
    bool zeroAfter = true;
    for (size_t i = length; i < kEventTextSize; ++i)
      zeroAfter = zeroAfter && text[i] == 0;
    if (zeroAfter) {
      d.kind = DirectiveKind::Event;
      d.sessionId = event.sessionId;
      d.code = event.eventCode;
      d.bytes.assign(text, length);
      return d;
    }
  }
  d.kind = DirectiveKind::CopyData;
  d.number = data.dwData;
  if (size > 0) {
    d.bytes.assign(reinterpret_cast<const char*>(bytes), std::min(size, kRecordedCopyDataMax));
  }
  if (size > kRecordedCopyDataMax) d.sentSize = size;
  return d;
}

// A message as the log shows it to a reader: as the recording writes it, except that an event's
// text shows the panel's Windows-1252 characters as they look (as the decoded trace does) and
// a power message names its value.
std::string LogText(const Directive& d) {
  if (d.kind == DirectiveKind::Event && !d.bytes.empty()) {
    const EventInfo* info = FindEvent(d.code);
    return "event " + std::to_string(d.sessionId) + " " +
           (info != nullptr ? std::string(info->name) : std::to_string(d.code)) + " " +
           QuoteDisplayText(d.bytes);
  }
  if (d.kind == DirectiveKind::Power) {
    for (const scenario::PowerName& power : scenario::kPowerNames) {
      if (power.code == d.number) return FormatDirective(d) + " (" + std::string(power.name) + ")";
    }
  }
  return FormatDirective(d);
}

}  // namespace

MessageRecorder::MessageRecorder(Platform& inner, std::FILE* record, std::FILE* log,
                                 const char* logPrefix)
    : inner_(inner),
      record_(record),
      log_(log),
      logPrefix_(logPrefix),
      replayMs_(EpochSecondsOf(kDefaultTime) * 1000) {}

void MessageRecorder::Begin() {
  if (begun_ || record_ == nullptr) return;
  begun_ = true;
  // A file that already holds a run is appended to: this run starts after a run boundary, so
  // that it replays as a run of its own, from a fresh start of the agent.
  std::fseek(record_, 0, SEEK_END);
  appending_ = std::ftell(record_) > 0;
  if (appending_) {
    Directive d;
    d.kind = DirectiveKind::Run;
    Write(FormatDirective(d));
  }
  Write(std::string("# Lumora recording, ") + (appending_ ? "continued " : "started ") +
        FormatDateTime(inner_.GetLocalTime()));
  messageWritten_ = false;
}

void MessageRecorder::Write(const std::string& line) {
  if (record_ == nullptr) return;
  if (std::fwrite(line.data(), 1, line.size(), record_) != line.size() ||
      std::fputc('\n', record_) == EOF || std::fflush(record_) != 0) {
    failed_ = true;
  }
}

int32_t MessageRecorder::OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) {
  const int32_t handle = inner_.OpenVFD(device, width, height, error);
  Begin();
  if (handle == -1) {
    Directive d;
    d.kind = DirectiveKind::DeviceNone;
    d.error = *error;
    Write(messageWritten_ ? "# " + FormatDirective(d) + " (the display could not be opened)"
                          : FormatDirective(d));
  }
  return handle;
}

int32_t MessageRecorder::VFD_Cmd(int32_t handle, uint8_t* packet) {
  ++packets_;
  return inner_.VFD_Cmd(handle, packet);
}

void MessageRecorder::Sleep(uint32_t milliseconds) {
  inner_.Sleep(milliseconds);
  // The replay's clock moves on by the same wait.
  replayMs_ += milliseconds;
}

void MessageRecorder::WriteSetUp(int64_t nowSeconds) {
  if (replayMs_ / 1000 != nowSeconds) {
    Directive d;
    d.kind = DirectiveKind::Time;
    d.epochSeconds = nowSeconds;
    Write(FormatDirective(d));
    replayMs_ = nowSeconds * 1000;
  }
  char answer[kLocaleBufferSize] = {};
  const bool fails = inner_.GetLocaleLanguage(answer, kLocaleBufferSize) == 0;
  if (fails != replayLocaleFails_ || (!fails && answer != replayLocale_)) {
    Directive d;
    d.kind = fails ? DirectiveKind::LangNone : DirectiveKind::Lang;
    d.text = answer;
    // An answer with blanks or control characters (or none at all) has no directive: it is
    // noted instead.
    bool sayable = fails || !d.text.empty();
    for (const char c : d.text)
      sayable = sayable && static_cast<uint8_t>(c) > 0x20 && c != 0x7F;
    Write(sayable ? FormatDirective(d) : "# the locale answered " + QuoteText(d.text));
    replayLocaleFails_ = fails;
    replayLocale_ = answer;
  }
}

void MessageRecorder::Received(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  pending_.clear();
  packets_ = 0;
  handling_ = false;
  Directive d;
  switch (message) {
    case kWmCopyData:
      if (lParam == 0) return;
      d = CopyDataDirective(*reinterpret_cast<const CopyDataStruct*>(lParam));
      break;
    case kWmPowerBroadcast:
      d.kind = DirectiveKind::Power;
      d.number = wParam;
      break;
    case kWmEndSession:
      d.kind = DirectiveKind::EndSession;
      d.number = wParam;
      break;
    case kWmTimer:
      d.kind = DirectiveKind::Timer;
      d.number = wParam;
      break;
    default:
      return;  // the agent acts on no other message
  }
  Begin();
  const LocalTime now = inner_.GetLocalTime();
  const int64_t nowSeconds = EpochSecondsOf(now);
  // A clock tick one second after the replay's time is the replay's own `tick`.
  if (d.kind == DirectiveKind::Timer && d.number == kClockTimerId &&
      replayMs_ / 1000 + 1 == nowSeconds) {
    d.kind = DirectiveKind::Tick;
    d.number = 1;
    replayMs_ += 1000;
  }
  WriteSetUp(nowSeconds);
  Write(FormatDirective(d));
  messageWritten_ = true;
  handling_ = record_ != nullptr;
  if (log_ != nullptr && d.kind != DirectiveKind::Tick && d.kind != DirectiveKind::Timer) {
    pending_ = FormatDateTime(now).substr(11) + " " + LogText(d);  // the time of day
  }
}

void MessageRecorder::Handled() {
  handling_ = false;
  if (pending_.empty()) return;
  std::fprintf(log_, "%s%s -> %u packet%s\n", logPrefix_, pending_.c_str(), packets_,
               packets_ == 1 ? "" : "s");
  std::fflush(log_);
  pending_.clear();
}

}  // namespace lumora::recorder
