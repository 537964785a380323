#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "platform/service_control.h"

namespace duvane::platform {
namespace {

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP}) sigaddset(&set, sig);
  return set;
}

class SignalSource final : public ControlRequestSource {
 public:
  explicit SignalSource(std::function<void(ServiceControl)> deliver)
      : deliver_(std::move(deliver)), thread_([this] { Loop(); }) {}

  ~SignalSource() override {
    closing_ = true;
    if (!finished_) pthread_kill(thread_.native_handle(), SIGHUP);
    thread_.join();
  }

 private:
  void Loop() {
    const sigset_t set = ControlSignals();
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0 || closing_) break;
      ServiceControl control = sig == SIGUSR1   ? ServiceControl::Pause
                               : sig == SIGUSR2 ? ServiceControl::Continue
                               : sig == SIGHUP  ? ServiceControl::Interrogate
                                                : ServiceControl::Stop;
      deliver_(control);
      if (control == ServiceControl::Stop) break;
    }
    finished_ = true;
  }

  std::function<void(ServiceControl)> deliver_;
  std::atomic<bool> closing_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace

void ControlRequestSource::PrepareProcess() {
  const sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::unique_ptr<ControlRequestSource> ControlRequestSource::Start(
    std::function<void(ServiceControl)> deliver) {
  return std::make_unique<SignalSource>(std::move(deliver));
}

}  // namespace duvane::platform
