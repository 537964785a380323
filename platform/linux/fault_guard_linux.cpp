#include <setjmp.h>
#include <signal.h>

#include <array>

#include "platform/fault_guard.h"
#include "platform/guarded_call.h"

namespace duvane::platform {
namespace {

constexpr std::array<int, 4> kFaultSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE};

thread_local sigjmp_buf* tGuard = nullptr;

void OnFault(int signal, siginfo_t*, void*) {
  if (tGuard != nullptr) siglongjmp(*tGuard, signal);
  // Another thread's fault: with the default action back in place, the
  // faulting instruction runs again and ends the process as it would have.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigaction(signal, &fallback, nullptr);
}

// Our handlers while it lives; the earlier ones (a sanitizer's, the default)
// again afterwards.
class FaultHandlers {
 public:
  FaultHandlers() {
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kFaultSignals.size(); ++i) {
      sigaction(kFaultSignals[i], &action, &earlier_[i]);
    }
  }
  ~FaultHandlers() {
    for (size_t i = 0; i < kFaultSignals.size(); ++i) {
      sigaction(kFaultSignals[i], &earlier_[i], nullptr);
    }
  }
  FaultHandlers(const FaultHandlers&) = delete;
  FaultHandlers& operator=(const FaultHandlers&) = delete;

 private:
  std::array<struct sigaction, kFaultSignals.size()> earlier_{};
};

}  // namespace

bool RunGuardingFaults(void (*work)(void*), void* context) {
  FaultHandlers handlers;
  sigjmp_buf* const outer = tGuard;
  sigjmp_buf guard;
  // The signal mask is saved too: the handler runs with the fault's signal
  // blocked, and the jump must not leave it so.
  if (sigsetjmp(guard, 1) != 0) {
    tGuard = outer;
    return false;
  }
  CallWithJumpTarget(tGuard, &guard, work, context);
  return true;
}

}  // namespace duvane::platform
