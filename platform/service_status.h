// Status reports to the service manager. Without a service manager that
// listens (the program was started by hand) every report does nothing.
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

// The states of a service as the Windows service control manager shows them.
enum class ServiceState {
  StartPending,
  Running,
  StopPending,
  PausePending,
  Paused,
  ContinuePending,
  Stopped
};

// Each returns why the report could not be delivered, or "" when it was
// delivered or nobody listens.

// The service is now in `state`. A manager that has no such state (systemd
// knows no pending pause) is told nothing; systemd hears "Running" and
// "Paused" as status texts and the stop pending state as STOPPING=1.
std::string ReportState(ServiceState state);

// The start sequence has run; the service is running. Only systemd needs to
// hear this on its own; the Windows service control manager learns it from
// the running state.
std::string ReportReady();
// The stop sequence begins.
std::string ReportStopping();
// A one-line state text for people ("Paused", "Running"). Line breaks are
// sent as blanks: each line of a report is a separate assignment.
std::string ReportStatus(std::string_view text);

}  // namespace duvane::platform
