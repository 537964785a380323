#include "session_state.h"

namespace velmora {

platform::RecursiveLock& ReaderLock() {
  static platform::RecursiveLock lock;
  return lock;
}

SessionState& Session() {
  static SessionState state;
  return state;
}

std::atomic<int32_t>& CurrentFindType() {
  static std::atomic<int32_t> findType{-1};
  return findType;
}

}  // namespace velmora
