#include <windows.h>

#include "platform/fault_guard.h"

namespace duvane::platform {
namespace {

// The jump buffer of __builtin_setjmp: five words.
using JumpBuffer = void* [5];

thread_local JumpBuffer* tGuard = nullptr;

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return true;
    default:
      return false;
  }
}

// Vectored handlers see every exception first, C++ exceptions of the 64-bit
// build among them; only a fault on a guarded thread is taken.
LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  if (tGuard == nullptr || !IsFault(info->ExceptionRecord->ExceptionCode)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  __builtin_longjmp(*tGuard, 1);
}

class FaultHandler {
 public:
  FaultHandler() : handle_(AddVectoredExceptionHandler(1, OnException)) {}
  ~FaultHandler() {
    if (handle_ != nullptr) RemoveVectoredExceptionHandler(handle_);
  }
  FaultHandler(const FaultHandler&) = delete;
  FaultHandler& operator=(const FaultHandler&) = delete;

 private:
  PVOID handle_;
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
  FaultHandler handler;
  JumpBuffer* const outer = tGuard;
  _EXCEPTION_REGISTRATION_RECORD* const handlerChain = ThreadBlock()->ExceptionList;
  JumpBuffer guard;
  if (__builtin_setjmp(guard) != 0) {
    ThreadBlock()->ExceptionList = handlerChain;
    tGuard = outer;
    return false;
  }
  tGuard = &guard;
  try {
    work(context);
  } catch (...) {
    tGuard = outer;
    throw;
  }
  tGuard = outer;
  return true;
}

}  // namespace duvane::platform
