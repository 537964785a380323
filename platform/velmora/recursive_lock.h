// The library's one recursive lock: a critical section on Windows.
#pragma once

#include <cstddef>

namespace velmora::platform {

// Made in place and never destroyed: an exchange may still run on another
// thread while the process unloads the library. Meets BasicLockable.
class RecursiveLock {
 public:
  // Room for the system's lock object.
  static constexpr size_t kNativeSize = 64;
  static constexpr size_t kNativeAlignment = 16;

  RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock();
  void unlock();

 private:
  alignas(kNativeAlignment) unsigned char native_[kNativeSize];
};

}  // namespace velmora::platform
