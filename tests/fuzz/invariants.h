// What must hold of the agent under any input, checked by the fuzzing harnesses after every
// message and by the corpus test of the ordinary suite. A violation prints what broke and
// aborts, so libFuzzer keeps the input and a test run stops at the first fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/agent_dlg.h"
#include "engine/agent_state.h"
#include "panel/panel_tables.h"

namespace lumora::fuzz {

// Prints "lumora invariant violated: ..." to standard error and aborts.
[[noreturn]] void InvariantViolated(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One 65-byte Panel Command Packet as it reaches the display library: bytes 0 and 1 zero, a
// command code of 0, 1, 2, 3, 4 or 6, and for each command only the bytes it may fill: an Icon
// Map with no bit outside the bits in use and a level bar of whole steps, a line text followed
// only by zero bytes, option 3, a panel-clock start with a real date and time.
void CheckPacket(const uint8_t* packet);

// The Icon Map's bits: nothing outside the bits in use, and a level bar that is dark or lights
// segments 1 to s + 1 of some step s.
void CheckIconMap(const IconMap& map, const char* where);

// The Agent State, the Picture Session List, the process-wide values and the panel wrapper's
// Icon Map between two messages.
void CheckAgent(const CAgentDlg& agent, const ProcessState& process);

// The model does not depend on the panel: two agents given the same messages, one with the
// device and one without (or with failing sends), hold the same Agent State, process-wide values
// and collections.
void CheckSameModel(const CAgentDlg& a, const ProcessState& pa, const CAgentDlg& b,
                    const ProcessState& pb);

// Watches the calls across the platform boundary in the order they are made: one open with the
// fixed arguments, the open-error box only right after a failed open, no packet and no close
// without a device, every packet well formed, waits of 1000 ms, nothing after the close.
class PlatformCallChecker {
 public:
  void Open(int32_t device, int32_t width, int32_t height);
  // The device opened, or it did not and OpenVFD reported error.
  void OpenResult(bool opened, int32_t error);
  void MessageBox(std::string_view caption, std::string_view text);
  void Command(const uint8_t* packet);
  void Sleep(uint32_t milliseconds);
  void Close();
  // Called when the agent has been destroyed: an opened device must have been closed.
  void Finished();

  bool deviceOpen() const { return opened_; }
  size_t commands() const { return commands_; }

 private:
  void NotClosed(const char* call) const;

  bool openCalled_ = false;
  bool openAnswered_ = false;
  bool opened_ = false;
  bool messageBoxShown_ = false;
  int32_t openError_ = 0;
  bool closed_ = false;
  size_t callsSinceOpen_ = 0;
  size_t commands_ = 0;
};

}  // namespace lumora::fuzz
