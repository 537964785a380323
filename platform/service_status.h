// Status reports to the service manager. Without a service manager that
// listens (the program was started by hand) every report does nothing.
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

// Each returns why the report could not be delivered, or "" when it was
// delivered or nobody listens.

// The start sequence has run; the service is running.
std::string ReportReady();
// The stop sequence begins.
std::string ReportStopping();
// A one-line state text for people ("Paused", "Running"). Line breaks are
// sent as blanks: each line of a report is a separate assignment.
std::string ReportStatus(std::string_view text);

}  // namespace duvane::platform
