#include <windows.h>

#include "platform/clock.h"
#include "platform/tone.h"

namespace duvane::platform {

void Beep(uint32_t frequencyHz, uint32_t durationMs) {
  const DWORD started = GetTickCount();
  ::Beep(frequencyHz, durationMs);
  // Where no sound device plays the tone, Beep may return at once; callers
  // rely on the pause.
  const DWORD elapsed = GetTickCount() - started;
  if (elapsed < durationMs) Sleep(durationMs - elapsed);
}

}  // namespace duvane::platform
