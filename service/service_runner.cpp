#include "service/service_runner.h"

#include <exception>
#include <memory>

#include "platform/service_control.h"
#include "platform/service_status.h"
#include "platform/system_log.h"
#include "service/service_identity.h"
#include "service/status_reports.h"

namespace duvane {
namespace {

void ReportServiceFailure(std::string_view on, std::string_view message) {
  platform::WriteSystemLogError(
      kServiceName, "Service failed on " + std::string(on) + ": " + std::string(message));
}

}  // namespace

int RunService(const ServiceSettings& settings, const std::string& programName) {
  platform::ControlRequestSource::PrepareProcess();
  auto loop = platform::EventLoop::Create([programName](const std::string& message) {
    platform::WriteSystemLogError(programName, message);
  });
  TDuvaneS service(settings, *loop);

  // Control requests are carried out on the service thread, in arrival order.
  platform::EventLoop* loopPtr = loop.get();
  auto controls =
      platform::ControlRequestSource::Start([loopPtr, &service](platform::ServiceControl c) {
        loopPtr->Post([&service, c] {
          try {
            service.HandleControl(c);
          } catch (const std::exception& e) {
            ReportServiceFailure(platform::ServiceControlName(c), e.what());
          }
        });
      });

  try {
    service.ServiceStart();
  } catch (const std::exception& e) {
    ReportServiceFailure("start", e.what());
    return 1;
  }
  LogUndeliveredReport(platform::ReportReady());
  LogUndeliveredReport(platform::ReportStatus("Running"));
  try {
    loop->Run();
  } catch (const std::exception& e) {
    ReportServiceFailure("execute", e.what());
    return 1;
  }
  return 0;
}

}  // namespace duvane
