// Running code from outside the program so that a hardware fault in it is a
// failed call, not the end of the service.
#pragma once

namespace duvane::platform {

// Runs `work(context)` so that a hardware fault inside it (touching memory it
// may not, an illegal instruction, a division by zero) ends the call instead
// of the process. Returns false when the call ended that way, true otherwise.
// C++ exceptions pass through unchanged.
//
// A fault abandons every frame between here and the fault as it stands:
// `work` must not own anything that needs destroying, and whatever the
// faulting code held (a lock, memory) stays held. The fault handlers are in
// place only during the call, on the calling thread's behalf.
bool RunGuardingFaults(void (*work)(void*), void* context);

}  // namespace duvane::platform
