// systemd starts the program as the service itself, sends control requests
// as signals and hears status reports through sd_notify. libsystemd is
// loaded only for the moment of a report, and only when a service manager
// asked for reports (NOTIFY_SOCKET is set): linked for good, it and the
// compression and crypto libraries it needs would hold about a megabyte of
// the idle service's resident memory for the few datagrams it sends.
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <systemd/sd-daemon.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/service_manager.h"

namespace duvane::platform {
namespace {

constexpr const char* kSystemdLibrary = "libsystemd.so.0";

std::string LoaderError(const char* what) {
  const char* detail = ::dlerror();
  return std::string(what) + " " + kSystemdLibrary + (detail != nullptr ? ": " : "") +
         (detail != nullptr ? detail : "");
}

std::string Notify(const char* state) {
  // sd_notify does nothing without NOTIFY_SOCKET: nobody to tell.
  if (std::getenv("NOTIFY_SOCKET") == nullptr) return {};
  ::dlerror();
  void* library = ::dlopen(kSystemdLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return LoaderError("cannot load");
  const auto notify = reinterpret_cast<decltype(&::sd_notify)>(::dlsym(library, "sd_notify"));
  std::string failure;
  if (notify == nullptr) {
    failure = LoaderError("no sd_notify in");
  } else if (const int result = notify(0, state); result < 0) {
    failure = std::strerror(-result);
  }
  ::dlclose(library);
  return failure;
}

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

// No dispatcher and no entry: the program is the service.
int RunAsService(std::string_view, std::string_view, const ServiceBody& body) { return body(); }

void ControlRequestSource::PrepareProcess() {
  const sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::unique_ptr<ControlRequestSource> ControlRequestSource::Start(
    std::function<void(ServiceControl)> deliver) {
  return std::make_unique<SignalSource>(std::move(deliver));
}

std::string ReportState(ServiceState state) {
  switch (state) {
    case ServiceState::Running:
      return Notify("STATUS=Running");
    case ServiceState::Paused:
      return Notify("STATUS=Paused");
    case ServiceState::StopPending:
      return Notify("STOPPING=1");
    default:
      return {};  // states that systemd does not know
  }
}

std::string ReportReady() { return Notify("READY=1"); }

}  // namespace duvane::platform
