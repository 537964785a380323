#include "service/status_reports.h"

#include "platform/service_manager.h"
#include "service/service_identity.h"

namespace duvane {

void LogUndeliveredReport(const std::string& failure) {
  if (!failure.empty()) platform::WriteSystemLogError(kServiceName, failure);
}

}  // namespace duvane
