// SDuvane: the local card-reader service. With -INSTALL or -UNINSTALL it
// registers or removes itself with the service manager; otherwise it runs in
// the foreground until it is told to stop.
#include <cstdio>
#include <exception>
#include <ostream>
#include <string>

#include "platform/process_info.h"
#include "service/command_line.h"
#include "service/service_runner.h"
#include "service/stdio_stream_buffer.h"

namespace {

// Fixed values of the system; there is no configuration.
constexpr uint16_t kServicePort = 10240;
constexpr const char* kLogFolder = "/var/log/duvane/";
constexpr const char* kReaderLibraryFile = "libVelmora.so";
constexpr const char* kUnitFolder = "/etc/systemd/system";

std::string ProgramName(const char* argv0) {
  std::string path = argv0 != nullptr ? argv0 : "SDuvane";
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const duvane::CommandLineSwitches switches = duvane::ParseSwitches(argc, argv);
    if (switches.install || switches.uninstall) {
      duvane::StdioStreamBuffer outBuffer(stdout), errBuffer(stderr);
      std::ostream out(&outBuffer), err(&errBuffer);
      return duvane::RunRegistration(switches, kUnitFolder, duvane::platform::ExecutablePath(), out,
                                     err);
    }
    return duvane::RunService({kServicePort, kLogFolder, kReaderLibraryFile}, ProgramName(argv[0]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
