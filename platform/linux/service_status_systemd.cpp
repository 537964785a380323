#include <systemd/sd-daemon.h>

#include <cstring>

#include "platform/service_status.h"

namespace duvane::platform {
namespace {

std::string Notify(const std::string& state) {
  // Returns 0 when NOTIFY_SOCKET is not set: no service manager to tell.
  const int result = ::sd_notify(0, state.c_str());
  if (result < 0) return std::strerror(-result);
  return {};
}

}  // namespace

std::string ReportState(ServiceState state) {
  switch (state) {
    case ServiceState::Running:
      return ReportStatus("Running");
    case ServiceState::Paused:
      return ReportStatus("Paused");
    case ServiceState::StopPending:
      return ReportStopping();
    default:
      return {};  // states that systemd does not know
  }
}

std::string ReportReady() { return Notify("READY=1"); }

std::string ReportStopping() { return Notify("STOPPING=1"); }

std::string ReportStatus(std::string_view text) {
  std::string state = "STATUS=";
  for (char c : text) {
    if (c == '\0') break;
    state.push_back(c == '\n' || c == '\r' ? ' ' : c);
  }
  return Notify(state);
}

}  // namespace duvane::platform
