#include "platform/service_status.h"
#include "platform/windows/service_manager_link.h"

namespace duvane::platform {

std::string ReportState(ServiceState state) { return windows::SetServiceState(state); }

// The service control manager learns readiness from the running state.
std::string ReportReady() { return {}; }

std::string ReportStopping() { return windows::SetServiceState(ServiceState::StopPending); }

// The service control manager shows no status text.
std::string ReportStatus(std::string_view) { return {}; }

}  // namespace duvane::platform
