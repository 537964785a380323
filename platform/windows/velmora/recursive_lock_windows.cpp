#include <windows.h>

#include "velmora/recursive_lock.h"

namespace velmora::platform {

RecursiveLock::RecursiveLock() : native_(new CRITICAL_SECTION) {
  InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(native_));
}

void RecursiveLock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }

void RecursiveLock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(native_)); }

}  // namespace velmora::platform
