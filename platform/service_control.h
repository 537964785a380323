// Control requests from the system's service manager, delivered to the
// service on a thread of their own. On Linux they arrive as signals: SIGTERM
// and SIGINT stop, SIGUSR1 pauses, SIGUSR2 continues, SIGHUP interrogates;
// systemd cannot tell a shutdown from a stop. On Windows the service control
// manager calls the control handler on the dispatcher thread.
#pragma once

#include <functional>
#include <memory>

namespace duvane::platform {

enum class ServiceControl { Stop, Pause, Continue, Interrogate, Shutdown };

const char* ServiceControlName(ServiceControl control);

// `deliver`, letting requests through up to and including the first stop or
// shutdown, and none after it: a service run has one stop. Not for
// concurrent calls.
std::function<void(ServiceControl)> UpToTheStop(std::function<void(ServiceControl)> deliver);

class ControlRequestSource {
 public:
  // Must run before any other thread of the process starts, so that control
  // requests reach only the source's own thread.
  static void PrepareProcess();
  // Calls `deliver` for each request in arrival order, from a thread that is
  // not the caller's, until a stop or shutdown was delivered (a service run
  // has one; later requests have no effect) or the source is destroyed.
  static std::unique_ptr<ControlRequestSource> Start(std::function<void(ServiceControl)> deliver);
  virtual ~ControlRequestSource() = default;
};

}  // namespace duvane::platform
