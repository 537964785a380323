#include "platform/service_control.h"

namespace duvane::platform {

const char* ServiceControlName(ServiceControl control) {
  switch (control) {
    case ServiceControl::Stop:
      return "stop";
    case ServiceControl::Pause:
      return "pause";
    case ServiceControl::Continue:
      return "continue";
    case ServiceControl::Interrogate:
      return "interrogate";
    case ServiceControl::Shutdown:
      return "shutdown";
  }
  return "unknown";
}

std::function<void(ServiceControl)> UpToTheStop(std::function<void(ServiceControl)> deliver) {
  return [deliver = std::move(deliver), stopped = false](ServiceControl control) mutable {
    if (stopped) return;
    stopped = control == ServiceControl::Stop || control == ServiceControl::Shutdown;
    deliver(control);
  };
}

}  // namespace duvane::platform
