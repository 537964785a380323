// A tone from the machine's speaker.
#pragma once

#include <cstdint>

namespace duvane::platform {

// Sounds frequencyHz for durationMs and returns when the tone has ended.
// Where the machine has no speaker it stays silent but still takes
// durationMs, because callers rely on the pause.
void Beep(uint32_t frequencyHz, uint32_t durationMs);

}  // namespace duvane::platform
