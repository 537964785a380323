#include "service/command_line.h"

#include <string_view>

#include "service/service_identity.h"

namespace duvane {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsSwitch(std::string_view argument, std::string_view upperName) {
  if (argument.empty() || (argument.front() != '-' && argument.front() != '/')) return false;
  argument.remove_prefix(1);
  if (argument.size() != upperName.size()) return false;
  for (size_t i = 0; i < argument.size(); ++i) {
    if (AsciiUpper(argument[i]) != upperName[i]) return false;
  }
  return true;
}

bool HasSwitch(int argc, const char* const* argv, std::string_view upperName) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr && IsSwitch(argv[i], upperName)) return true;
  }
  return false;
}

int Report(std::string_view verb, std::string_view successText, const std::string& error,
           bool silent, std::ostream& out, std::ostream& err) {
  if (!error.empty()) {
    err << "Service \"" << kServiceDisplayName << "\" failed to " << verb << " with error: \""
        << error << "\"" << std::endl;
    return 1;
  }
  if (!silent) out << successText << std::endl;
  return 0;
}

}  // namespace

CommandLineSwitches ParseSwitches(int argc, const char* const* argv) {
  CommandLineSwitches switches;
  switches.install = HasSwitch(argc, argv, "INSTALL");
  switches.uninstall = !switches.install && HasSwitch(argc, argv, "UNINSTALL");
  switches.silent = HasSwitch(argc, argv, "SILENT");
  return switches;
}

int RunRegistration(const CommandLineSwitches& switches, platform::ServiceRegistry& registry,
                    const std::string& programPath, std::ostream& out, std::ostream& err) {
  if (!switches.install && !switches.uninstall) return 0;
  if (std::string error = registry.Reach(); !error.empty()) {
    err << error << std::endl;
    return 1;
  }
  if (switches.install) {
    const platform::ServiceDefinition service{std::string(kServiceName),
                                              std::string(kServiceDisplayName), programPath};
    return Report("install", "Service installed successfully", registry.Install(service),
                  switches.silent, out, err);
  }
  return Report("uninstall", "Service uninstalled successfully", registry.Uninstall(kServiceName),
                switches.silent, out, err);
}

}  // namespace duvane
