// The system's own log (the event log on Windows, syslog here), for failures
// the service cannot write to its daily log.
#pragma once

#include <string_view>

namespace duvane::platform {

// Writes one error entry under `source` (the program's file name, or the
// service name).
void WriteSystemLogError(std::string_view source, std::string_view message);

}  // namespace duvane::platform
