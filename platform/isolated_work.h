// Calling code from outside the program (a vendor's library) so that a fault,
// an exception or a hang in it costs that call, never the service: in a child
// process that serves the calls (Linux), or on a guarded thread of their own
// (Windows).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace duvane::platform {

// The work marks each step it is about to take, so that a call that ended
// abnormally can be told by its step.
class StepMarks {
 public:
  virtual void Mark(uint8_t step) = 0;

 protected:
  ~StepMarks() = default;
};

// One kind of call: a fixed-size request in, a fixed-size reply out. A C++
// exception out of `run` is the call's "raised" end.
struct IsolatedCall {
  std::size_t requestSize;
  std::size_t replySize;
  void (*run)(const void* request, void* reply, StepMarks& steps);
};

struct IsolatedWork {
  // Runs once where the calls run, before the first of them (loads the
  // library named by `argument`). False with the reason in `error`.
  bool (*prepare)(const std::string& argument, std::string& error);
  std::span<const IsolatedCall> calls;

  // The largest request or reply of the calls, at least 1: a buffer's size.
  std::size_t Largest(std::size_t IsolatedCall::*size) const {
    std::size_t largest = 1;
    for (const IsolatedCall& call : calls) largest = std::max(largest, call.*size);
    return largest;
  }
};

enum class CallEnd {
  kReturned,     // the reply is filled
  kRaised,       // the work raised an exception
  kCrashed,      // a fault, a signal, or the end of the calls' process
  kTimedOut,     // the bound passed first
  kRefused,      // not called: an earlier call is still running (Windows)
  kUnavailable,  // not called: the calls cannot run (their program does not start)
};

struct CallOutcome {
  CallEnd end = CallEnd::kReturned;
  int step = -1;       // the last step marked before the end; -1 before the first
  std::string detail;  // what ended the call, for the system log
};

struct IsolationSettings {
  std::string program;                   // the serving program (Linux); unused on Windows
  std::string argument;                  // handed to IsolatedWork::prepare
  std::chrono::milliseconds callBound;   // for each call
  std::chrono::milliseconds startBound;  // for getting ready, prepare included
};

class Isolation {
 public:
  static std::unique_ptr<Isolation> Create(const IsolatedWork& work, IsolationSettings settings);
  virtual ~Isolation() = default;

  // Gets the calls ready now rather than at the first call. False with the
  // reason in `error` when they cannot run.
  virtual bool Start(std::string& error) = 0;
  // Runs call `index` and waits for it, at most the call bound. `reply` is
  // written only when the call returned. Calls never run two at once.
  virtual CallOutcome Call(std::size_t index, const void* request, void* reply) = 0;
};

// The whole main of the serving program where the work runs in a process of
// its own (Linux): prepares the work with the program's first argument, then
// serves the calls until the service closes the connection. Returns the exit
// status.
int ServeIsolatedWork(const IsolatedWork& work, int argc, char** argv);

}  // namespace duvane::platform
