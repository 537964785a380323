// The calls on one thread of their own in the service, under the system's
// fault guard. The service's thread waits for each call at most the bound; a
// call that overruns it goes on by itself, and until it returns every later
// call is refused at once, so the library never runs two calls at a time.
// All calls run on that one thread: a lock that a fault left taken stays the
// thread's to take again.
#pragma once

#include <memory>
#include <string>

#include "isolation/isolated_work.h"

namespace duvane::isolation {

struct Fault {
  std::string detail;   // what ended the call, for the system log
  bool retire = false;  // the thread cannot run the work again (its stack is spent)
};

// Runs `work(context)`: true when it returned, false when a fault ended it,
// described in `fault`. C++ exceptions pass through.
using FaultGuard = bool (*)(void (*work)(void*), void* context, Fault& fault);

std::unique_ptr<Isolation> CreateGuardedThread(const IsolatedWork& work, IsolationSettings settings,
                                               FaultGuard guard);

}  // namespace duvane::isolation
