// The library's clock for the card fuzzer: the 20 ms pause after a failed
// transmission would cap the fuzzer at fifty failures a second, so time
// only moves forward by a tick per reading and nothing sleeps.
#include "velmora/ticks.h"

namespace velmora::platform {

uint32_t GetTickCount() {
  static uint32_t ticks = 0;
  return ++ticks;
}

void Sleep(uint32_t /*milliseconds*/) {}

}  // namespace velmora::platform
