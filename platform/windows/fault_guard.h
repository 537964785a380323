#pragma once

#include <cstdint>

namespace duvane::platform {

// The exception code of a stack overflow.
inline constexpr uint32_t kStackOverflowCode = 0xC00000FD;

// Runs `work(context)`. Returns false when a hardware fault (a bad memory
// access, an illegal instruction, a division by zero, a stack overflow) or an
// exception that nothing in `work` handled ended the call, with the
// exception's code in `code`; true when `work` returned. C++ exceptions pass
// through unchanged. Guarded calls may be nested and run on several threads
// at once.
//
// A fault abandons every frame between here and the fault as it stands:
// `work` must not own anything that needs destroying, and whatever the
// faulting code held (a lock, memory) stays held. After a stack overflow the
// thread's stack has lost its guard page until it is restored.
bool RunGuardingFaults(void (*work)(void*), void* context, uint32_t& code);

}  // namespace duvane::platform
