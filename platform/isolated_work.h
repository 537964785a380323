// Calling code from outside the program (a vendor's library) so that a fault,
// an exception or a hang in it costs that call, never the service.
//
// Linux runs the calls in a child process, a program of their own that
// serves them one after another (ServeIsolatedWork). Whatever the
// library does to its process (a fault, a lock it never gives back, memory
// it corrupts) dies with that process; the next call starts a new one.
// Windows runs them on a thread of their own in the service, under a guard
// that turns a fault or an exception the library raises into a failed call.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace duvane::platform {

// The work says which step it is about to take, so that a call that ended
// abnormally can be told by its step.
class StepMarks {
 public:
  virtual void Mark(uint8_t step) = 0;

 protected:
  ~StepMarks() = default;
};

// One kind of call: a fixed-size request in, a fixed-size reply out. `run`
// runs where the outside code runs; a C++ exception out of it is the call's
// "raised" end.
struct IsolatedCall {
  std::size_t requestSize;
  std::size_t replySize;
  void (*run)(const void* request, void* reply, StepMarks& steps);
};

struct IsolatedWork {
  // Runs once where the calls run, before the first of them: binds what the
  // calls need (loads the library named by `argument`). False with the
  // reason in `error` when that is not possible.
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

  // Gets the calls ready to run now rather than at the first call. False
  // with the reason in `error` when they cannot run.
  virtual bool Start(std::string& error) = 0;
  // Runs call `index` of the work and waits for it, at most the call bound.
  // `reply` is written only when the call returned. Calls run one at a time,
  // never two at once.
  virtual CallOutcome Call(std::size_t index, const void* request, void* reply) = 0;
};

// The whole main of the serving program, on systems that run the work in a
// process of its own (Linux): prepares the work with the program's first
// argument, then serves the calls that arrive on the connection the service
// handed down, one after another, until the service closes it. Returns the
// program's exit status.
int ServeIsolatedWork(const IsolatedWork& work, int argc, char** argv);

}  // namespace duvane::platform
