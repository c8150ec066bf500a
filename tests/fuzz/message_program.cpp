#include "tests/fuzz/message_program.h"

#include <algorithm>

#include "base/media_event.h"
#include "tests/fuzz/agent_driver.h"
#include "tests/fuzz/invariants.h"

namespace lumora::fuzz {

namespace {

// The virtual clock stays within the years a scenario can name.
const int64_t kEarliestSecond = scenario::DaysFromCivil(0, 1, 1) * 86400;
const int64_t kLatestSecond = scenario::DaysFromCivil(9999, 12, 31) * 86400 + 86399;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return pos_ >= size_; }
  size_t Remaining() const { return size_ - pos_; }

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  uint64_t Varint() {
    uint64_t value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
      const uint8_t b = Byte();
      value |= uint64_t{b & 0x7Fu} << shift;
      if ((b & 0x80) == 0) break;
    }
    return value;
  }

  int64_t ZigZag() {
    const uint64_t v = Varint();
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
  }

  uint32_t Le(size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
      value |= uint32_t{Byte()} << (8 * i);
    return value;
  }

  // Up to count bytes, fewer at the end of the input.
  const uint8_t* Take(size_t& count) {
    count = std::min(count, Remaining());
    const uint8_t* start = data_ + pos_;
    pos_ += count;
    return start;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// The program runs on two agents at once: the one the header asks for, and a shadow that
// differs only in its device (it opens when the other's fails, and the other way round). After
// every operation both must hold the same model.
class Twins {
 public:
  Twins(std::vector<std::string>* trace, uint8_t header, int32_t openError)
      : main_(trace, kMaxTicks), shadow_(nullptr, kMaxTicks) {
    if ((header & kHeaderDeviceFails) != 0) {
      main_.platform().SetDeviceFails(openError);
    } else {
      shadow_.platform().SetDeviceFails(openError);
    }
    main_.platform().SetCommandsFail((header & kHeaderCommandsFail) != 0);
  }

  template <typename Operation>
  void Both(Operation operation) {
    operation(main_);
    operation(shadow_);
    if (main_.agent() != nullptr && shadow_.agent() != nullptr) {
      CheckSameModel(*main_.agent(), main_.process(), *shadow_.agent(), shadow_.process());
    }
  }

  bool closed() const { return main_.closed(); }

 private:
  AgentDriver main_;
  AgentDriver shadow_;
};

void Event(Reader& in, Twins& twins) {
  const auto sessionId = static_cast<int32_t>(in.Le(4));
  const auto code = static_cast<uint16_t>(in.Le(2));
  const uint8_t reserved = in.Byte();
  size_t length = std::min<size_t>(in.Byte(), kEventTextSize);
  const uint8_t* text = in.Take(length);
  uint8_t record[kMediaStateEventSize];
  EncodeMediaStateEvent(sessionId, code, reinterpret_cast<const char*>(text), length, record);
  record[6] = reserved;
  twins.Both([&](AgentDriver& d) { d.CopyData(kMediaStateEventMarker, record, sizeof record); });
}

void CopyData(Reader& in, Twins& twins) {
  const uint8_t flags = in.Byte();
  const auto dwData = static_cast<uintptr_t>(in.Varint());
  size_t length = static_cast<size_t>(std::min<uint64_t>(in.Varint(), in.Remaining()));
  const uint8_t* data = in.Take(length);
  twins.Both([&](AgentDriver& d) { d.CopyData(dwData, data, length, flags); });
}

void Message(Reader& in, Twins& twins) {
  const auto message = static_cast<uint32_t>(in.Varint());
  const auto wParam = static_cast<uintptr_t>(in.Varint());
  if (message == kWmDestroy) {
    twins.Both([](AgentDriver& d) { d.Shutdown(); });
  } else {
    twins.Both([&](AgentDriver& d) { d.Deliver(message, wParam, 0); });
  }
}

void Lang(Reader& in, Twins& twins) {
  size_t length = in.Byte();
  if (length == 0) {
    twins.Both([](AgentDriver& d) { d.platform().SetLocaleFails(); });
    return;
  }
  const uint8_t* bytes = in.Take(length);  // length shrinks to what the input holds
  const std::string_view answer(reinterpret_cast<const char*>(bytes), length);
  twins.Both([&](AgentDriver& d) { d.platform().SetLocaleAnswer(answer); });
}

// --- Encoding, for the seeds ---

void PutVarint(std::vector<uint8_t>& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

void PutZigZag(std::vector<uint8_t>& out, int64_t value) {
  PutVarint(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void RunMessageProgram(const uint8_t* data, size_t size, std::vector<std::string>* trace) {
  Reader in(data, size);
  const uint8_t header = in.Byte();
  const auto openError =
      (header & kHeaderDeviceFails) != 0 ? static_cast<int32_t>(in.ZigZag()) : int32_t{0};
  Twins twins(trace, header, openError);

  while (!in.AtEnd() && !twins.closed()) {
    switch (in.Byte() % kOpCount) {
      case kOpEvent:
        Event(in, twins);
        break;
      case kOpCopyData:
        CopyData(in, twins);
        break;
      case kOpPower: {
        const auto wParam = static_cast<uintptr_t>(in.Varint());
        twins.Both([&](AgentDriver& d) { d.Deliver(kWmPowerBroadcast, wParam, 0); });
        break;
      }
      case kOpEndSession: {
        const auto wParam = static_cast<uintptr_t>(in.Varint());
        twins.Both([&](AgentDriver& d) { d.Deliver(kWmEndSession, wParam, 0); });
        break;
      }
      case kOpTick: {
        const uint64_t count = in.Varint();
        twins.Both([&](AgentDriver& d) { d.Ticks(count); });
        break;
      }
      case kOpTimer: {
        const auto id = static_cast<uintptr_t>(in.Varint());
        twins.Both([&](AgentDriver& d) { d.Deliver(kWmTimer, id, 0); });
        break;
      }
      case kOpTime: {
        const int64_t seconds = std::clamp(in.ZigZag(), kEarliestSecond, kLatestSecond);
        twins.Both([&](AgentDriver& d) { d.platform().SetTime(seconds); });
        break;
      }
      case kOpLang:
        Lang(in, twins);
        break;
      case kOpMessage:
        Message(in, twins);
        break;
      default:  // kOpClose
        twins.Both([](AgentDriver& d) { d.Shutdown(); });
        break;
    }
  }
  twins.Both([](AgentDriver& d) { d.Shutdown(); });
}

bool EncodeScenario(const scenario::Scenario& scenario, std::vector<uint8_t>& program,
                    std::string& reason) {
  using scenario::DirectiveKind;
  program.clear();
  uint8_t header = 0;
  int32_t error = 0;
  uint64_t ticks = 0;
  for (const scenario::Directive& d : scenario.directives) {
    if (d.kind == DirectiveKind::DeviceNone) {
      header |= kHeaderDeviceFails;
      error = d.error;
    }
    if (d.kind == DirectiveKind::Tick) ticks += d.number;
  }
  if (ticks > kMaxTicks) {
    reason = "more than " + std::to_string(kMaxTicks) + " ticks";
    return false;
  }
  program.push_back(header);
  if ((header & kHeaderDeviceFails) != 0) PutZigZag(program, error);

  for (const scenario::Directive& d : scenario.directives) {
    switch (d.kind) {
      case DirectiveKind::Time:
        program.push_back(kOpTime);
        PutZigZag(program, d.epochSeconds);
        break;
      case DirectiveKind::Lang:
        if (d.text.size() > 255) {
          // Longer than the agent's 128-byte buffer: the query fails, as after `lang none`.
          program.push_back(kOpLang);
          program.push_back(0);
          break;
        }
        if (d.text.empty()) {
          reason = "line " + std::to_string(d.line) + ": locale answer of " +
                   std::to_string(d.text.size()) + " bytes";
          return false;
        }
        program.push_back(kOpLang);
        program.push_back(static_cast<uint8_t>(d.text.size()));
        program.insert(program.end(), d.text.begin(), d.text.end());
        break;
      case DirectiveKind::LangNone:
        program.push_back(kOpLang);
        program.push_back(0);
        break;
      case DirectiveKind::DeviceNone:
        break;  // in the header
      case DirectiveKind::Event:
        program.push_back(kOpEvent);
        PutLe(program, static_cast<uint32_t>(d.sessionId), 4);
        PutLe(program, d.code, 2);
        program.push_back(0);
        program.push_back(static_cast<uint8_t>(d.bytes.size()));
        program.insert(program.end(), d.bytes.begin(), d.bytes.end());
        break;
      case DirectiveKind::CopyData:
        program.push_back(kOpCopyData);
        program.push_back(d.bytes.empty() ? kCopyDataNullData : 0);
        PutVarint(program, d.number);
        PutVarint(program, d.bytes.size());
        program.insert(program.end(), d.bytes.begin(), d.bytes.end());
        break;
      case DirectiveKind::Power:
        program.push_back(kOpPower);
        PutVarint(program, d.number);
        break;
      case DirectiveKind::EndSession:
        program.push_back(kOpEndSession);
        PutVarint(program, d.number);
        break;
      case DirectiveKind::Tick:
        program.push_back(kOpTick);
        PutVarint(program, d.number);
        break;
      case DirectiveKind::Timer:
        program.push_back(kOpTimer);
        PutVarint(program, d.number);
        break;
      case DirectiveKind::Close:
        program.push_back(kOpClose);
        break;
      case DirectiveKind::Run:
        reason = "line " + std::to_string(d.line) + ": a run boundary has no operation";
        return false;
    }
  }
  return true;
}

}  // namespace lumora::fuzz
