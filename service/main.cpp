// SDuvane: the local card-reader service. With -INSTALL or -UNINSTALL it
// registers or removes itself with the service manager; otherwise it runs as
// the service until it is told to stop.
#include <cstdio>
#include <exception>
#include <ostream>
#include <string>

#include "platform/host.h"
#include "platform/service_manager.h"
#include "service/command_line.h"
#include "service/service_runner.h"
#include "service/stdio_stream_buffer.h"

namespace {

// Fixed values of the system; there is no configuration. The places of its
// files are fixed per operating system (platform/host.h).
constexpr uint16_t kServicePort = 10240;

// The name of the program file: the first argument is the command as typed,
// which on Windows may lack the ".exe" that the file name has.
std::string ProgramName(const char* argv0) {
  std::string path = duvane::platform::ExecutablePath();
  if (path.empty()) path = argv0 != nullptr ? argv0 : "SDuvane";
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
      duvane::StdioStreamBuffer outBuffer(stdout), errBuffer(stderr);
      std::ostream out(&outBuffer), err(&errBuffer);
      const auto registry = platform::ServiceRegistry::Open(platform::kServiceRegistry);
      return duvane::RunRegistration(switches, *registry, platform::ExecutablePath(), out, err);
    }
    return duvane::RunService({kServicePort, platform::kLogFolder, platform::kReaderLibraryFile},
                              ProgramName(argv[0]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
