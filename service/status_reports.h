// Status reports to the service manager from the service's side.
#pragma once

#include <string>

namespace duvane {

// A report that the service manager never received leaves it showing a
// stale state, so the failure goes to the system log under the service's
// name. A delivered report (or "") logs nothing.
void LogUndeliveredReport(const std::string& failure);

}  // namespace duvane
