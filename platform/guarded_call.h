// The part of a fault-guarded call that is the same on every system.
#pragma once

namespace duvane::platform {

// Runs `work(context)` with `target` as the calling thread's jump target in
// `slot`, and puts the earlier target back however the call returns, a C++
// exception included. On a jump to `target` this frame is abandoned, so the
// frame that set the target up puts the earlier one back itself.
template <typename Target>
void CallWithJumpTarget(Target*& slot, Target* target, void (*work)(void*), void* context) {
  Target* const outer = slot;
  slot = target;
  try {
    work(context);
  } catch (...) {
    slot = outer;
    throw;
  }
  slot = outer;
}

}  // namespace duvane::platform
