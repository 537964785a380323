#include "tests/support/service_program.h"

namespace testsupport {

ServiceProgram::ServiceProgram(ProgramOptions options) {
  std::string program = options.program.empty() ? BinFolder() + "/SDuvane" : options.program;
  std::vector<std::string> arguments;
  if (!options.launcher.empty()) {
    arguments.assign(options.launcher.begin() + 1, options.launcher.end());
    arguments.push_back(program);
    program = options.launcher.front();
  }
  options.env.emplace("NOTIFY_SOCKET", notify_.Path());
  process_ = std::make_unique<Process>(program, arguments, options.env);
  ready_ = options.readyLine.empty() ? notify_.WaitFor("READY=1", 10s)
                                     : WaitForListening(Port(), 10s) && LogHas(options.readyLine);
  if (!ready_) ADD_FAILURE() << "the service is not ready; stderr: " << process_->Stderr();
}

}  // namespace testsupport
