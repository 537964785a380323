// The library's one recursive lock: a critical section on Windows.
#pragma once

namespace velmora::platform {

// Made once and never destroyed: an exchange may still run on another thread
// while the process unloads the library. The thread that holds the lock may
// take it again. Meets BasicLockable, so std::lock_guard takes it.
class RecursiveLock {
 public:
  RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock();
  void unlock();

 private:
  void* native_;  // the system's lock object
};

}  // namespace velmora::platform
