// Running the program as a service of the system's service manager.
#pragma once

#include <functional>
#include <string_view>

namespace duvane::platform {

// The service's own work: the start sequence, then serving until a stop or
// shutdown. Returns the exit status.
using ServiceBody = std::function<int()>;

// Runs `body` as the service `serviceName` and returns the process's exit
// status.
//
// Linux: systemd started the program; `body` runs on the calling thread.
// Windows: the calling thread starts the service control dispatcher on a
// thread of its own and waits for it. The manager's service entry registers
// the control handler, reports start pending, runs `body` on the service
// thread, and reports stopped when it returns. When the dispatcher cannot
// start (the program was not started by the service control manager) the
// system's message for that goes to the system log under `programName` and
// to standard error, and the result is 1; a failed registration of the
// control handler goes to the system log under `serviceName`.
int RunAsService(std::string_view serviceName, std::string_view programName,
                 const ServiceBody& body);

}  // namespace duvane::platform
