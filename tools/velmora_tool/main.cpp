// velmora-tool: reader diagnostics for technicians and bug reports, over the
// exports of the reader library.
#include <exception>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "report.h"
#include "trace_relay.h"

using namespace velmora_tool;

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const ParsedArguments parsed = ParseArguments(arguments);
    if (!parsed.invocation) {
      std::cerr << "velmora-tool: " << parsed.error << "\nTry 'velmora-tool --help'.\n";
      return kExitUsage;
    }
    const Invocation& invocation = *parsed.invocation;
    if (invocation.version) {
      std::cout << "velmora-tool " << VELMORA_TOOL_VERSION << '\n';
      return kExitSuccess;
    }
    if (invocation.help) {
      std::cout << UsageText(invocation.command);
      return kExitSuccess;
    }
    std::optional<TraceRelay> relay;
    if (invocation.trace) relay.emplace();
    const Report report = RunCommand(invocation);
    if (relay) relay->CopyTo(std::cerr);
    return PrintReport(report, invocation, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "velmora-tool: " << e.what() << '\n';
    return kExitFailure;
  }
}
