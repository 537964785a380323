// Calls into code from outside the program (a vendor's library), contained so
// that a fault, an exception or a hang in it costs that call, never the
// service. Two ways to contain them, each over a small piece that the system
// supplies: a program of its own that serves the calls over a byte stream
// (served_calls.h), or one guarded thread in the service
// (guarded_thread.h).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace duvane::isolation {

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
  kRefused,      // not called: an earlier call is still running, or a fault retired the work
  kUnavailable,  // not called: the calls cannot run (their program does not start)
};

struct CallOutcome {
  CallEnd end = CallEnd::kReturned;
  int step = -1;       // the last step marked before the end; -1 before the first
  std::string detail;  // what ended the call, for the system log
};

struct IsolationSettings {
  std::string program;                   // the serving program, where there is one
  std::string argument;                  // handed to IsolatedWork::prepare
  std::chrono::milliseconds callBound;   // for each call
  std::chrono::milliseconds startBound;  // for getting ready, prepare included
};

class Isolation {
 public:
  virtual ~Isolation() = default;

  // Gets the calls ready now rather than at the first call. False with the
  // reason in `error` when they cannot run.
  virtual bool Start(std::string& error) = 0;
  // Runs call `index` and waits for it, at most the call bound. `reply` is
  // written only when the call returned. Calls never run two at once.
  virtual CallOutcome Call(std::size_t index, const void* request, void* reply) = 0;
};

// The text of a bound in the system log.
inline std::string Milliseconds(std::chrono::milliseconds bound) {
  return std::to_string(bound.count()) + " ms";
}

}  // namespace duvane::isolation
