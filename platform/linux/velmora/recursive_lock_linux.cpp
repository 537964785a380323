#include <mutex>
#include <new>

#include "velmora/recursive_lock.h"

namespace velmora::platform {
namespace {

std::recursive_mutex& Native(unsigned char* storage) {
  return *std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}

}  // namespace

static_assert(sizeof(std::recursive_mutex) <= RecursiveLock::kNativeSize &&
              alignof(std::recursive_mutex) <= RecursiveLock::kNativeAlignment);

RecursiveLock::RecursiveLock() { new (native_) std::recursive_mutex; }

void RecursiveLock::lock() { Native(native_).lock(); }

void RecursiveLock::unlock() { Native(native_).unlock(); }

}  // namespace velmora::platform
