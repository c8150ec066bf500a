// The sender's side of the Linux host's intake (`lumora send`, the demo, the tests): turns the
// sender's arguments into scenario directives, each directive into a frame, and exchanges the
// frames with a running agent, one synchronous reply per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/media_event.h"
#include "scenario/live_play.h"
#include "scenario/scenario.h"
#include "senders/frame.h"

namespace lumora::posix {

// What `lumora send` was asked to deliver.
struct SocketSendRequest {
  std::string socketPath;                 // empty: the default
  std::vector<scenario::LiveStep> steps;  // the messages, with a scenario file's waits
  bool list = false;                      // --list: print the event table, send nothing
  bool version = false;                   // --version: print the version, send nothing
  std::vector<std::string> warnings;      // payloads unlike their format, sent anyway
  std::vector<std::string> skipped;       // what a scenario file held that is left out
};

// Parses the senders' common command line (sendargs/send_args.h: SID CODE [TEXT] | --power W |
// --endsession W | --close | --file SCENARIO) with `--socket PATH` anywhere before "--", args
// without the program and subcommand names. Returns false with a message on error; --help is
// the caller's.
bool ParseSendArguments(const std::vector<std::string>& args, SocketSendRequest& request,
                        std::string& error);
// Checks that every message fits a frame; false with "line N: reason".
bool CheckSendable(const std::vector<scenario::LiveStep>& steps, std::string& error);

// The frame of one sendable directive; record holds the encoded Media State Event of an event
// and must outlive the frame. False for directives that are not sendable.
bool FrameOfDirective(const scenario::Directive& directive, uint8_t (&record)[kMediaStateEventSize],
                      Frame& frame);

// The frame of a Media State Event of session sessionId; record holds the encoded event and must
// outlive the frame.
Frame EventFrame(int32_t sessionId, uint16_t code, const char* text, size_t length,
                 uint8_t (&record)[kMediaStateEventSize]);

// While the agent is busy (every connection taken, or its listen queue full) a sender tries
// again after 10 ms, then after twice as long each time up to 250 ms, for at most 5 seconds.
inline constexpr int kBusyRetryMs = 5000;
inline constexpr int kFirstBackOffMs = 10;
inline constexpr int kMaxBackOffMs = 250;
// How long a sender waits for the reply to a frame it has written whole. The agent may still
// handle a frame whose reply did not come in time, so a sender never calls that a failure: it
// says the outcome is unknown (exit status 3 of `lumora send`).
inline constexpr int kReplyWaitMs = 30000;

enum class ConnectResult {
  Connected,
  NotRunning,  // no socket, or nothing listens on it
  Busy,        // the agent's listen queue is full: try again later
  NotOurs,     // the process that listens belongs to another user (and not to root)
  Failed,
};

class AgentConnection {
 public:
  AgentConnection() = default;
  ~AgentConnection();
  AgentConnection(const AgentConnection&) = delete;
  AgentConnection& operator=(const AgentConnection&) = delete;

  // Connects without waiting, then checks who listens (SO_PEERCRED): the same user or root,
  // else nothing is sent and the connection is closed.
  ConnectResult Open(const std::string& path, std::string& error);
  // Open, with notRunning set when nothing listens on the path (no socket, or connection
  // refused).
  bool Connect(const std::string& path, std::string& error, bool& notRunning);
  // Sends one frame and waits for its reply (at most timeoutMs once the frame is written).
  bool Exchange(const Frame& frame, Reply& reply, std::string& error, int timeoutMs = kReplyWaitMs);
  // Sends raw bytes (for tests of malformed frames) and waits for a reply.
  bool ExchangeBytes(const uint8_t* bytes, size_t size, Reply& reply, std::string& error,
                     int timeoutMs = kReplyWaitMs);
  // Sends a status request and reads the agent's answer: a status reply fills report and sets
  // reported; a plain reply (busy, or an agent that does not take status requests) is in reply.
  bool RequestStatus(Reply& reply, StatusReport& report, bool& reported, std::string& error,
                     int timeoutMs = kReplyWaitMs);
  // After a failed exchange: the frame went out whole but no reply came in time, so the agent
  // may still handle it.
  bool unanswered() const { return unanswered_; }
  void Close();
  int fd() const { return fd_; }
  // A descriptor that becomes readable when the caller is asked to stop (a signalfd): every wait
  // for the agent ends at once then, as if its time had run out. -1 (the default): none.
  void SetStopDescriptor(int fd) { stopFd_ = fd; }
  // Whether the stop descriptor is readable.
  bool Stopping() const;

 private:
  bool ExchangeRaw(const uint8_t* bytes, size_t size, Reply& reply, StatusReport* report,
                   bool* reported, std::string& error, int timeoutMs);

  int fd_ = -1;
  int stopFd_ = -1;
  bool unanswered_ = false;
};

// Tries again while the agent is busy: pauses from kFirstBackOffMs doubling up to kMaxBackOffMs,
// for kBusyRetryMs in all.
class BusyBackOff {
 public:
  BusyBackOff();
  // Pauses before the next try; false, without a pause, once the time is up.
  bool Pause();

 private:
  int64_t giveUpMs_;
  int backOffMs_ = kFirstBackOffMs;
};

// The socket of the agent for a sender: path, or the default one in the user's own folder
// (which a sender never creates). False with the reason when the folder is missing (notRunning
// set: no agent can be listening there) or not the user's own.
bool SenderSocketPath(const std::string& path, std::string& out, std::string& error,
                      bool& notRunning);

// What `lumora status` does: asks the agent on the socket (empty: the default) for its status,
// trying again while it is busy. Returns 0 with report filled; kExitNoAgent when no agent runs
// there; kExitFailure when it could not be asked or did not answer, with the reason in error.
int QueryStatus(const std::string& socketPath, StatusReport& report, std::string& error);

// Plays the steps: delivers every message over one connection, trying again while the agent
// is busy, and waits where the steps wait (a new connection after each wait, since the agent
// does not keep a silent one); captions and restarts are not a sender's. Prints errors to
// stderr and returns the exit status of `lumora send`: 0 done, 1 not done (agent not running,
// busy too long, not the user's own, gone, or a refused message), 3 no reply in time (the
// message may still be handled).
int SendScenario(const std::string& socketPath, const std::vector<scenario::LiveStep>& steps);

}  // namespace lumora::posix
