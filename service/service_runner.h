// Running the service in the foreground until a stop request.
#pragma once

#include <string>

#include "service/duvane_service.h"

namespace duvane {

// Runs the start sequence, serves until a stop request arrives and runs the
// stop sequence. `programName` is the source of system-log entries about
// socket events. Returns the process's exit status.
int RunService(const ServiceSettings& settings, const std::string& programName);

}  // namespace duvane
