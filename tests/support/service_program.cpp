#include "tests/support/service_program.h"

#include <signal.h>

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
  ready_ = WaitUntilReady(options.readyLine);
}

bool ServiceProgram::WaitUntilReady(const std::string& readyLine) {
  if (readyLine.empty()) return notify_.WaitFor("READY=1", 10s);
  return WaitForListening(Port(), 10s) && LogHas(readyLine);
}

std::string ServiceProgram::Error() const {
  return ready_ ? "" : "the service did not become ready; stderr: " + process_->Stderr();
}

std::string ServiceProgram::LogPath() const { return TodaysLogPath(); }

bool ServiceProgram::Pause() {
  process_->Signal(SIGUSR1);
  return notify_.WaitFor("STATUS=Paused");
}

bool ServiceProgram::Continue() {
  process_->Signal(SIGUSR2);
  return notify_.WaitFor("STATUS=Running");
}

bool ServiceProgram::Stop() {
  process_->Signal(SIGTERM);
  return process_->Wait(10s) == 0;
}

}  // namespace testsupport
