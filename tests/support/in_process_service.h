// Test support: the service object in-process, on an ephemeral port and a
// log folder of its own, its event loop on a thread of the test. Started by
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

using duvane::platform::ServiceControl;

struct InProcessOptions {
  uint16_t port = 0;  // 0 takes an ephemeral one
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
  bool Pause() override { return Carry(ServiceControl::Pause, true); }
  bool Continue() override { return Carry(ServiceControl::Continue, false); }
  bool Stop() override;

  // Hands a control request to the service thread and returns at once.
  void Control(ServiceControl control) {
    loop_->Post([this, control] { service_->HandleControl(control); });
  }

  duvane::EventLoop& Loop() { return *loop_; }
  std::thread& Thread() { return thread_; }
  // Failures the loop reported and nobody handled; service thread only.
  const std::vector<std::string>& Unhandled() const { return unhandled_; }

 private:
  // Carries out `control` and looks, on the service thread after it,
  // whether the service is paused as `paused` says.
  bool Carry(ServiceControl control, bool paused);

  std::string folder_;
  std::vector<std::string> unhandled_;
  std::unique_ptr<duvane::EventLoop> loop_;
  std::unique_ptr<duvane::TDuvaneS> service_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace testsupport
