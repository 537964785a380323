// Windows: the isolated work runs on one guarded thread of its own in the
// service (isolation/guarded_thread.h), under the fault guard.
#include <malloc.h>

#include <cstdio>

#include "isolation/guarded_thread.h"
#include "platform/isolated_work.h"
#include "platform/windows/fault_guard.h"

namespace duvane::platform {
namespace {

std::string Hexadecimal(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

// A stack overflow leaves the thread's stack without its guard page, and a
// second one would end the process. Restored, the library may be called
// again as after any other fault; otherwise it never is.
std::string AfterStackOverflow(bool& retire) {
  if (_resetstkoflw() != 0) return " (stack overflow); its guard page is restored";
  retire = true;
  return " (stack overflow); the library is not called again until the service restarts";
}

bool GuardAgainstFaults(void (*work)(void*), void* context, isolation::Fault& fault) {
  uint32_t code = 0;
  if (RunGuardingFaults(work, context, code)) return true;
  fault.detail = "exception " + Hexadecimal(code);
  if (code == kStackOverflowCode) fault.detail += AfterStackOverflow(fault.retire);
  return false;
}

}  // namespace

std::unique_ptr<isolation::Isolation> CreateIsolation(const isolation::IsolatedWork& work,
                                                      isolation::IsolationSettings settings) {
  return isolation::CreateGuardedThread(work, std::move(settings), GuardAgainstFaults);
}

}  // namespace duvane::platform
