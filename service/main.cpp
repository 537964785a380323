// SDuvane: the local card-reader service. With -INSTALL or -UNINSTALL it
// registers or removes itself with the service manager; otherwise it runs as
// the service until it is told to stop.
#include <exception>
#include <iostream>
#include <string>

#include "platform/console.h"
#include "platform/process_info.h"
#include "platform/system_places.h"
#include "service/command_line.h"
#include "service/service_runner.h"

namespace {

// Fixed values of the system; there is no configuration. The places of its
// files are fixed per operating system (platform/system_places.h).
constexpr uint16_t kServicePort = 10240;

std::string ProgramName(const char* argv0) {
  std::string path = argv0 != nullptr ? argv0 : "SDuvane";
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const duvane::CommandLineSwitches switches = duvane::ParseSwitches(argc, argv);
    namespace platform = duvane::platform;
    if (switches.install || switches.uninstall) {
      platform::PrepareConsoleOutput();
      return duvane::RunRegistration(switches, platform::kServiceRegistry,
                                     platform::ExecutablePath(), std::cout, std::cerr);
    }
    return duvane::RunService({kServicePort, platform::kLogFolder, platform::kReaderLibraryFile},
                              ProgramName(argv[0]));
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
