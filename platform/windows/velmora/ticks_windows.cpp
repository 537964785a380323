#include <windows.h>

#include "velmora/ticks.h"

namespace velmora::platform {

uint32_t GetTickCount() { return ::GetTickCount(); }

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace velmora::platform
