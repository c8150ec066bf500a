// lumora-fuzz-seeds: turns scenarios (the golden cases) into the seeds of the harnesses that do
// not read scenario text.
//
//   lumora-fuzz-seeds [--frames] OUTDIR SCENARIO...
//
// Writes OUTDIR/NAME.msg, the message program of every SCENARIO named NAME.scn, or with
// --frames OUTDIR/NAME.frames: the request frames a sender writes to the Linux host for the
// scenario's events, copydata, power and endsession lines and its close (clock ticks and set-up
// have no frame). A scenario that cannot be expressed is reported and skipped; one that cannot
// be read or parsed makes the exit status 1.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "senders/frame.h"
#include "base/media_event.h"
#include "base/platform.h"
#include "scenario/scenario.h"
#include "tests/fuzz/message_program.h"

namespace {

using lumora::scenario::Directive;
using lumora::scenario::DirectiveKind;

void PutFrame(std::vector<uint8_t>& out, const lumora::posix::Frame& frame) {
  uint8_t bytes[lumora::posix::kFrameMax];
  const size_t size = lumora::posix::EncodeFrame(frame, bytes, sizeof bytes);
  out.insert(out.end(), bytes, bytes + size);
}

bool EncodeFrames(const lumora::scenario::Scenario& scenario, std::vector<uint8_t>& stream,
                  std::string& reason) {
  using lumora::posix::Frame;
  using lumora::posix::FrameType;
  for (const Directive& d : scenario.directives) {
    Frame frame;
    uint8_t record[lumora::kMediaStateEventSize];
    switch (d.kind) {
      case DirectiveKind::Event:
        lumora::EncodeMediaStateEvent(d.sessionId, d.code, d.bytes.data(), d.bytes.size(), record);
        frame.message = lumora::kWmCopyData;
        frame.dwData = lumora::kMediaStateEventMarker;
        frame.payload = record;
        frame.length = sizeof record;
        break;
      case DirectiveKind::CopyData:
        if (d.bytes.size() > lumora::posix::kFramePayloadMax) continue;
        frame.message = lumora::kWmCopyData;
        frame.dwData = d.number;
        frame.payload = reinterpret_cast<const uint8_t*>(d.bytes.data());
        frame.length = static_cast<uint32_t>(d.bytes.size());
        break;
      case DirectiveKind::Power:
        frame.message = lumora::kWmPowerBroadcast;
        frame.wParam = d.number;
        break;
      case DirectiveKind::EndSession:
        frame.message = lumora::kWmEndSession;
        frame.wParam = d.number;
        break;
      case DirectiveKind::Close:
        frame.type = FrameType::Close;
        break;
      default:
        continue;
    }
    PutFrame(stream, frame);
  }
  if (stream.empty()) reason = "nothing to send";
  return !stream.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const bool frames = argc > 1 && std::strcmp(argv[1], "--frames") == 0;
  const int first = frames ? 2 : 1;
  if (argc < first + 2) {
    std::fputs("usage: lumora-fuzz-seeds [--frames] OUTDIR SCENARIO...\n", stderr);
    return 2;
  }
  const std::filesystem::path outDir = argv[first];
  std::filesystem::create_directories(outDir);
  int status = 0;
  for (int i = first + 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    lumora::scenario::Scenario scenario;
    lumora::scenario::ParseError error;
    std::vector<uint8_t> seed;
    std::string reason;
    bool failed = true;
    if (!in) {
      reason = "cannot read it";
    } else if (!lumora::scenario::ParseScenario(text, scenario, error)) {
      reason = "line " + std::to_string(error.line) + ": " + error.reason;
    } else if (frames ? EncodeFrames(scenario, seed, reason)
                      : lumora::fuzz::EncodeScenario(scenario, seed, reason)) {
      const std::string name = path.stem().string() + (frames ? ".frames" : ".msg");
      std::ofstream out(outDir / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(seed.data()),
                static_cast<std::streamsize>(seed.size()));
      if (out) continue;
      reason = "cannot write it";
    } else {
      failed = false;  // a scenario the seed cannot express is no error
    }
    std::fprintf(stderr, "lumora-fuzz-seeds: %s skipped: %s\n", argv[i], reason.c_str());
    if (failed) status = 1;
  }
  return status;
}
