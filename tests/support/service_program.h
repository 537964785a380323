// Test support: the real SDuvane program on its fixed port and fixed log
// folder, inside the private host (EnterPrivateHost). It is ready when it
// reports its start sequence done through the stand-in for systemd's
// notification socket; a program run where that socket cannot be seen (a
// sandbox with a private /tmp) is ready when it listens and its log shows
// `readyLine`.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/notify_socket.h"
#include "tests/support/service_harness.h"

namespace testsupport {

struct ProgramOptions {
  std::string program{};                     // "" runs build/bin/SDuvane
  std::vector<std::string> launcher{};       // runs the program through this (a sandbox)
  std::map<std::string, std::string> env{};  // besides NOTIFY_SOCKET
  std::string readyLine{};

  // No reader service reachable: the reader library finds no pcscd.
  static ProgramOptions WithoutReaderService() {
    return {.env = {{"PCSCLITE_CSOCK_NAME", "/tmp/duvane-no-pcscd/pcscd.comm"}}};
  }
};

class ServiceProgram : public ServiceUnderTest {
 public:
  // Starts the program and waits until it is ready; a test failure with the
  // program's error output when it is not.
  explicit ServiceProgram(ProgramOptions options = {});

  bool Ready() const { return ready_; }

  uint16_t Port() const override { return kServicePort; }
  std::string LogPath() const override { return TodaysLogPath(); }
  // The signals that stand for the service manager's requests.
  bool Pause() override { return Signal(SIGUSR1, "STATUS=Paused"); }
  bool Continue() override { return Signal(SIGUSR2, "STATUS=Running"); }
  bool Stop() override {
    process_->Signal(SIGTERM);
    return process_->Wait(10s) == 0;
  }

  Process& Program() { return *process_; }
  pid_t Pid() const { return process_->Pid(); }

 private:
  bool Signal(int signal, const std::string& report) {
    process_->Signal(signal);
    return notify_.WaitFor(report);
  }

  NotifySocket notify_;
  std::unique_ptr<Process> process_;
  bool ready_ = false;
};

// The fixture of every test that runs the real program: each starts with an
// empty log folder. Without root the tests are skipped.
class PrivateHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EnterPrivateHost()) GTEST_SKIP() << "needs root for private namespaces";
    ClearLogFolder();
  }
};

}  // namespace testsupport
