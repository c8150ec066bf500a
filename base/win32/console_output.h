// The Windows console programs' text in UTF-8, shown as such in a console window.
//
// Every Lumora program writes UTF-8 ("Crème Brûlée – 5 €"). A Windows console shows the bytes a
// program writes in its own code page (437, 850, 1252...): "Cr├¿me Br├╗l├⌐e". While a
// ConsoleOutput lives, standard output and standard error that are the console go through one
// pipe to a thread, which writes them with WriteConsoleW, the UTF-8 turned into the console's
// UTF-16, in the order the program wrote them (standard output unbuffered, as on a console). The
// console's code page is left as it is: the user's, for the commands after this one. Output to
// a file or a pipe is not touched: it gets the UTF-8 bytes as written. The program writes with
// the C library as ever. Outside Windows a ConsoleOutput does nothing.
//
// Construct it first in main, so that it ends last: its destructor flushes both streams and
// waits until the console has shown everything.
#pragma once

namespace lumora {

class ConsoleOutput {
 public:
#ifdef _WIN32
  ConsoleOutput();
  ~ConsoleOutput();
#else
  ConsoleOutput() = default;
#endif
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

 private:
#ifdef _WIN32
  static unsigned long __stdcall Relay(void* self);

  void* console_ = nullptr;  // CONOUT$, opened for the thread to write to
  void* pipe_ = nullptr;     // the pipe's reading end, which the thread reads
  void* thread_ = nullptr;
  int saved_[2] = {-1, -1};  // the files of descriptors 1 and 2 while they write to the pipe
#endif
};

}  // namespace lumora
