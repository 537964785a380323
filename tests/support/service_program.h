// Test support: the real SDuvane program on its fixed port and fixed log
// folder, inside the private host (EnterPrivateHost), told apart from the
// machine's own. It is ready when it reports its start sequence done
// through the stand-in for systemd's notification socket; a program run
// where that socket cannot be seen (a sandbox with a private /tmp) is ready
// when it listens and its log shows `readyLine`.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/notify_socket.h"
#include "tests/support/service_harness.h"

namespace testsupport {

struct ProgramOptions {
  // "" runs build/bin/SDuvane.
  std::string program{};
  // Runs the program through this command (e.g. a sandbox), when given.
  std::vector<std::string> launcher{};
  std::map<std::string, std::string> env{};
  std::string readyLine{};
};

class ServiceProgram : public ServiceUnderTest {
 public:
  // Starts the program and waits until it is ready (see Ready()).
  explicit ServiceProgram(ProgramOptions options = {});

  // False when the program did not become ready in time; Error() says why.
  bool Ready() const { return ready_; }
  std::string Error() const;

  uint16_t Port() const override { return kServicePort; }
  std::string LogPath() const override;
  // Through the signals that stand for the service manager's requests.
  bool Pause() override;
  bool Continue() override;
  // SIGTERM; true when the program ends with status 0.
  bool Stop() override;

  Process& Program() { return *process_; }
  pid_t Pid() const { return process_->Pid(); }
  // Status reports the program sent, from the last one looked at.
  NotifySocket& Reports() { return notify_; }

 private:
  bool WaitUntilReady(const std::string& readyLine);

  NotifySocket notify_;
  std::unique_ptr<Process> process_;
  bool ready_ = false;
};

}  // namespace testsupport
