// Test support: the service object in-process, on an ephemeral port and a
// log folder of its own, its event loop on a thread of the test. Started in
// the constructor; stopped by Stop or, at the latest, by the destructor.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/duvane_service.h"
#include "service/event_loop/event_loop.h"
#include "tests/support/service_harness.h"

namespace testsupport {

struct InProcessOptions {
  // Port 0 takes an ephemeral one; "" makes a fresh log folder under /tmp
  // that the service removes again.
  uint16_t port = 0;
  std::string logFolder{};
  std::string readerLibrary = "libDuvaneTestNoSuchLibrary.so";
};

class InProcessService : public ServiceUnderTest {
 public:
  explicit InProcessService(InProcessOptions options = {});
  ~InProcessService() override;
  InProcessService(const InProcessService&) = delete;
  InProcessService& operator=(const InProcessService&) = delete;

  uint16_t Port() const override { return port_; }
  std::string LogPath() const override;
  bool Pause() override;
  bool Continue() override;
  bool Stop() override;

  // Hands a control request to the service thread and returns at once.
  void Control(duvane::platform::ServiceControl control);
  // Runs `task` on the service thread and waits until it has run.
  bool OnServiceThread(std::function<void()> task);

  const std::string& LogFolder() const { return folder_; }
  duvane::EventLoop& Loop() { return *loop_; }
  duvane::TDuvaneS& Service() { return *service_; }
  std::thread& Thread() { return thread_; }
  // Failures the loop reported and nobody handled; service thread only.
  const std::vector<std::string>& Unhandled() const { return unhandled_; }

 private:
  bool PausedIs(bool wanted);

  bool ownFolder_ = false;
  std::string folder_;
  std::vector<std::string> unhandled_;
  std::unique_ptr<duvane::EventLoop> loop_;
  std::unique_ptr<duvane::TDuvaneS> service_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace testsupport
