// Running the service in the foreground until a stop request.
#pragma once

#include <functional>
#include <string>

#include "platform/service_manager.h"
#include "service/duvane_service.h"

namespace duvane {

// Runs the start sequence, serves until a stop request arrives and runs the
// stop sequence. `programName` is the source of system-log entries about
// socket events. Returns the process's exit status.
int RunService(const ServiceSettings& settings, const std::string& programName);

// `deliver`, letting requests through up to and including the first stop or
// shutdown, and none after it: a service run has one stop, whatever the
// manager accepted behind it while a long command held the service thread.
// Not for concurrent calls.
std::function<void(platform::ServiceControl)> UpToTheStop(
    std::function<void(platform::ServiceControl)> deliver);

}  // namespace duvane
