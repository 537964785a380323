// The program's switches: register or remove the service, or run it.
#pragma once

#include <ostream>
#include <string>

#include "platform/service_manager.h"

namespace duvane {

struct CommandLineSwitches {
  bool install = false;
  bool uninstall = false;  // never together with install: install wins
  bool silent = false;     // no success message
};

// A switch is an argument (after the program name) that begins with "-" or
// "/" and whose remainder is the switch name in any letter case.
CommandLineSwitches ParseSwitches(int argc, const char* const* argv);

// Registers or removes the service as the switches say. Success is told on
// `out` (not with "silent"), failure on `err` (always): a service manager
// that cannot be reached as the system's error alone, a refused registration
// inside the failed-install or failed-uninstall message. Returns the process
// exit status: 0 on success, 1 on failure.
int RunRegistration(const CommandLineSwitches& switches, platform::ServiceRegistry& registry,
                    const std::string& programPath, std::ostream& out, std::ostream& err);

}  // namespace duvane
