#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/windows/fault_guard.h"

namespace duvane::platform {
namespace {

// The jump buffer of __builtin_setjmp: five words.
struct Guard {
  void* jump[5];
  uint32_t code = 0;
};

thread_local Guard* tGuard = nullptr;
std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> gFoundFilter{nullptr};
std::atomic<bool> gFilterInPlace{false};

// Called for an exception that no handler of the faulting code took: an
// access violation, or whatever the library raised and left uncaught. A
// library that probes memory under its own handler keeps that working, which
// a vectored handler, called before the library's own, would break.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  Guard* const guard = tGuard;
  if (guard != nullptr) {
    guard->code = info->ExceptionRecord->ExceptionCode;
    __builtin_longjmp(guard->jump, 1);
  }
  // Another thread's exception, handled as it would have been. The filter
  // found is known a moment after ours is in place.
  while (!gFilterInPlace.load()) SwitchToThread();
  const LPTOP_LEVEL_EXCEPTION_FILTER found = gFoundFilter.load();
  return found != nullptr ? found(info) : EXCEPTION_CONTINUE_SEARCH;
}

void PutFilterInPlace() {
  static std::once_flag once;
  std::call_once(once, [] {
    gFoundFilter.store(SetUnhandledExceptionFilter(OnUnhandledException));
    gFilterInPlace.store(true);
  });
}

// The 32-bit build's frame-based handler chain lives in the thread block; a
// jump past the faulting frames must not leave it pointing into them.
// GCC takes the segment-relative read of NtCurrentTeb for an access to an
// empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
NT_TIB* ThreadBlock() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb()); }
#pragma GCC diagnostic pop

// Runs `work` with `guard` as the thread's jump target and puts the earlier
// one back however it returns, a C++ exception included. On a jump this
// frame is abandoned; the caller puts the earlier target back then.
void CallAsTarget(Guard* guard, void (*work)(void*), void* context) {
  Guard* const outer = tGuard;
  tGuard = guard;
  try {
    work(context);
  } catch (...) {
    tGuard = outer;
    throw;
  }
  tGuard = outer;
}

}  // namespace

bool RunGuardingFaults(void (*work)(void*), void* context, uint32_t& code) {
  PutFilterInPlace();
  Guard* const outer = tGuard;
  _EXCEPTION_REGISTRATION_RECORD* const handlerChain = ThreadBlock()->ExceptionList;
  Guard guard;
  if (__builtin_setjmp(guard.jump) != 0) {
    ThreadBlock()->ExceptionList = handlerChain;
    tGuard = outer;
    code = guard.code;
    return false;
  }
  CallAsTarget(&guard, work, context);
  return true;
}

}  // namespace duvane::platform
