#include <mutex>

#include "velmora/recursive_lock.h"

namespace velmora::platform {

RecursiveLock::RecursiveLock() : native_(new std::recursive_mutex) {}

void RecursiveLock::lock() { static_cast<std::recursive_mutex*>(native_)->lock(); }

void RecursiveLock::unlock() { static_cast<std::recursive_mutex*>(native_)->unlock(); }

}  // namespace velmora::platform
