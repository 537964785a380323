// The millisecond tick counter and the pause that the exchange uses.
#pragma once

#include <cstdint>

namespace velmora::platform {

// Milliseconds since an arbitrary point, wrapping like a 32-bit tick counter,
// so the difference of two readings is the elapsed time even across a wrap.
uint32_t GetTickCount();

// Blocks the calling thread for at least the given time.
void Sleep(uint32_t milliseconds);

}  // namespace velmora::platform
