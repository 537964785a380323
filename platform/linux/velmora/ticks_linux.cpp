#include <chrono>
#include <thread>

#include "velmora/ticks.h"

namespace velmora::platform {

uint32_t GetTickCount() {
  const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace velmora::platform
