// The recorder of what the agent receives: a platform that stands between the agent and its
// host's own, passes every call through, and writes each message the window procedure is about
// to see as a directive of the replay's scenario language. A recording of an evening replays
// with lumora-replay to the trace the agent gave live, so a bug seen on a panel becomes a
// scenario a developer can run.
//
// What it writes, one line a message, flushed at once so that a crash loses nothing:
//   event SID NAME "TEXT"   a well-formed Media State Event (exactly 40 bytes, reserved byte 0,
//                           nothing but zero bytes after the text's NUL)
//   copydata DWDATA HEX     any other WM_COPYDATA; one of more than kRecordedCopyDataMax bytes
//     [of SIZE]             as its first kRecordedCopyDataMax bytes and its size (the agent
//                           reads no more than the first 40 bytes of any), so that the line
//                           stays within the replay's bound of 4096 bytes
//   power W, endsession W   WM_POWERBROADCAST, WM_ENDSESSION
//   tick                    the clock timer one second after the time the replay will have
//   timer ID                any other timer, or the clock timer out of step (after `time`)
// preceded by `time` when the local time is not the one the replay will have by then (the
// ticks and the agent's 1000 ms waits already written move the replay's clock), and by `lang`
// when the locale answer has changed. A display that cannot be opened is written as
// `device none ERR` before the first message. Appending to an earlier recording starts with a
// comment line; the runs then replay as one.
//
// With a log it also writes one line per message received (not the clock's ticks): the local
// time, what it was, and the number of packets it caused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/platform.h"
#include "scenario/scenario.h"

namespace lumora::recorder {

// The most data of one WM_COPYDATA a recording keeps: the largest payload of a frame on the
// Linux agent's socket, and within what the agent reads of any (a Media State Event's 40 bytes).
inline constexpr size_t kRecordedCopyDataMax = 1024;

class MessageRecorder final : public Platform {
 public:
  // record (appended to) and log may each be null; each line of the log starts with logPrefix
  // (the journal's priority, say).
  MessageRecorder(Platform& inner, std::FILE* record, std::FILE* log, const char* logPrefix = "");

  // Before the window procedure sees a message.
  void Received(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // After it has handled that message.
  void Handled();
  // A line of the recording could not be written whole.
  bool failed() const { return failed_; }

  // --- Platform: the inner platform's, watched ---
  int32_t OpenVFD(int32_t device, int32_t width, int32_t height, int32_t* error) override;
  int32_t VFD_Cmd(int32_t handle, uint8_t* packet) override;
  int32_t CloseVFD(int32_t handle) override { return inner_.CloseVFD(handle); }
  // While a recorded message is handled, the agent reads the replay's clock: the time at which
  // the message arrived plus the waits since, as the replay will have it. The live clock may
  // cross a second in the middle of a message, which no directive could say.
  LocalTime GetLocalTime() override {
    return handling_ ? scenario::LocalTimeOf(replayMs_ / 1000) : inner_.GetLocalTime();
  }
  int32_t GetLocaleLanguage(char* buffer, int32_t size) override {
    return inner_.GetLocaleLanguage(buffer, size);
  }
  void Sleep(uint32_t milliseconds) override;
  void ShowMessageBox(const char* caption, const char* text) override {
    inner_.ShowMessageBox(caption, text);
  }
  void HideWindow() override { inner_.HideWindow(); }
  uintptr_t SetTimer(uintptr_t id, uint32_t periodMs) override {
    return inner_.SetTimer(id, periodMs);
  }
  void KillTimer(uintptr_t timerId) override { inner_.KillTimer(timerId); }
  intptr_t DefaultProcessing(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    return inner_.DefaultProcessing(message, wParam, lParam);
  }

 private:
  // The first line of this run: marks whether it starts a recording or continues one.
  void Begin();
  void Write(const std::string& line);
  void WriteSetUp(int64_t nowSeconds);

  Platform& inner_;
  std::FILE* record_;
  std::FILE* log_;
  const char* logPrefix_;
  bool failed_ = false;
  bool begun_ = false;
  bool appending_ = false;
  bool messageWritten_ = false;
  // What the replay will have when it reaches the next line.
  int64_t replayMs_;
  std::string replayLocale_ = "0409";
  bool replayLocaleFails_ = false;
  // The message being handled, for the log.
  std::string pending_;
  bool handling_ = false;  // between a recorded message's arrival and the end of its handling
  uint32_t packets_ = 0;
};

}  // namespace lumora::recorder
