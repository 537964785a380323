#include <windows.h>

#include <atomic>

#include "platform/fault_guard.h"
#include "platform/guarded_call.h"

namespace duvane::platform {
namespace {

// The jump buffer of __builtin_setjmp: five words.
using JumpBuffer = void* [5];

thread_local JumpBuffer* tGuard = nullptr;
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> gEarlierFilter{nullptr};

// Called for an exception that no handler of the faulting code took: an
// access violation, or whatever the library raised and left uncaught. A
// library that probes memory under its own handler keeps that working, which
// a vectored handler, called before the library's own, would break.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  if (tGuard != nullptr) __builtin_longjmp(*tGuard, 1);
  // Another thread's exception: handled as it would have been.
  const LPTOP_LEVEL_EXCEPTION_FILTER earlier = gEarlierFilter.load();
  return earlier != nullptr ? earlier(info) : EXCEPTION_CONTINUE_SEARCH;
}

class UnhandledExceptionFilter {
 public:
  UnhandledExceptionFilter() { gEarlierFilter = SetUnhandledExceptionFilter(OnUnhandledException); }
  ~UnhandledExceptionFilter() { SetUnhandledExceptionFilter(gEarlierFilter.load()); }
  UnhandledExceptionFilter(const UnhandledExceptionFilter&) = delete;
  UnhandledExceptionFilter& operator=(const UnhandledExceptionFilter&) = delete;
};

// The 32-bit build's frame-based handler chain lives in the thread block; a
// jump past the faulting frames must not leave it pointing into them.
// GCC takes the segment-relative read of NtCurrentTeb for an access to an
// empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
NT_TIB* ThreadBlock() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

}  // namespace

bool RunGuardingFaults(void (*work)(void*), void* context) {
  UnhandledExceptionFilter filter;
  JumpBuffer* const outer = tGuard;
  _EXCEPTION_REGISTRATION_RECORD* const handlerChain = ThreadBlock()->ExceptionList;
  JumpBuffer guard;
  if (__builtin_setjmp(guard) != 0) {
    ThreadBlock()->ExceptionList = handlerChain;
    tGuard = outer;
    return false;
  }
  CallWithJumpTarget(tGuard, &guard, work, context);
  return true;
}

}  // namespace duvane::platform
