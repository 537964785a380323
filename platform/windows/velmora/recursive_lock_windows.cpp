#include <windows.h>

#include <new>

#include "velmora/recursive_lock.h"

namespace velmora::platform {
namespace {

CRITICAL_SECTION* Native(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= RecursiveLock::kNativeSize &&
              alignof(CRITICAL_SECTION) <= RecursiveLock::kNativeAlignment);

RecursiveLock::RecursiveLock() { InitializeCriticalSection(new (native_) CRITICAL_SECTION); }

void RecursiveLock::lock() { EnterCriticalSection(Native(native_)); }

void RecursiveLock::unlock() { LeaveCriticalSection(Native(native_)); }

}  // namespace velmora::platform
