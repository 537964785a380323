#include "service/service_runner.h"

#include <exception>
#include <memory>

#include "service/service_identity.h"
#include "service/status_reports.h"

namespace duvane {
namespace {

const char* ServiceControlName(platform::ServiceControl control) {
  switch (control) {
    case platform::ServiceControl::Stop:
      return "stop";
    case platform::ServiceControl::Pause:
      return "pause";
    case platform::ServiceControl::Continue:
      return "continue";
    case platform::ServiceControl::Interrogate:
      return "interrogate";
    case platform::ServiceControl::Shutdown:
      return "shutdown";
  }
  return "unknown";
}

void ReportServiceFailure(std::string_view on, std::string_view message) {
  platform::WriteSystemLogError(
      kServiceName, "Service failed on " + std::string(on) + ": " + std::string(message));
}

// A control request that failed leaves the manager showing a pending state,
// so the state that held before it is reported again. After a shutdown the
// process ends anyway.
void CarryOutControl(TDuvaneS& service, platform::ServiceControl control) {
  try {
    service.HandleControl(control);
  } catch (const std::exception& e) {
    ReportServiceFailure(ServiceControlName(control), e.what());
    if (control == platform::ServiceControl::Shutdown) return;
    LogUndeliveredReport(platform::ReportState(service.Paused() ? platform::ServiceState::Paused
                                                                : platform::ServiceState::Running));
  }
}

// The service thread: the start sequence, then every socket event and
// control request until a stop or shutdown.
int ServeUntilStopped(const ServiceSettings& settings, const std::string& programName) {
  auto loop = EventLoop::Create([programName](const std::string& message) {
    platform::WriteSystemLogError(programName, message);
  });
  TDuvaneS service(settings, *loop);
  // Without a usable identity-card library the service does not start, as a
  // program that imports a missing library does not.
  std::string error;
  if (!service.IdCard().Start(error)) {
    ReportServiceFailure("start", "the identity-card library cannot be used: " + error);
    return 1;
  }

  // Control requests are carried out on the service thread, in arrival order.
  EventLoop* loopPtr = loop.get();
  auto controls = platform::ControlRequestSource::Start(
      UpToTheStop([loopPtr, &service](platform::ServiceControl c) {
        loopPtr->Post([&service, c] { CarryOutControl(service, c); });
      }));

  LogUndeliveredReport(platform::ReportState(platform::ServiceState::StartPending));
  try {
    service.ServiceStart();
  } catch (const std::exception& e) {
    ReportServiceFailure("start", e.what());
    return 1;
  }
  LogUndeliveredReport(platform::ReportReady());
  LogUndeliveredReport(platform::ReportState(platform::ServiceState::Running));
  try {
    loop->Run();
  } catch (const std::exception& e) {
    ReportServiceFailure("execute", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

std::function<void(platform::ServiceControl)> UpToTheStop(
    std::function<void(platform::ServiceControl)> deliver) {
  return [deliver = std::move(deliver), stopped = false](platform::ServiceControl control) mutable {
    if (stopped) return;
    stopped =
        control == platform::ServiceControl::Stop || control == platform::ServiceControl::Shutdown;
    deliver(control);
  };
}

int RunService(const ServiceSettings& settings, const std::string& programName) {
  platform::ControlRequestSource::PrepareProcess();
  return platform::RunAsService(kServiceName, programName,
                                [&] { return ServeUntilStopped(settings, programName); });
}

}  // namespace duvane
