// This process's link to the service control manager: the control handler
// registered by the service entry, and the status reports made through it.
// Before the registration (the program was not started as a service) the
// reports do nothing and no control request arrives.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/service_control.h"
#include "platform/service_status.h"

namespace duvane::platform::windows {

// Registers the control handler under `serviceName`. Returns 0 or the
// system's error number.
DWORD ConnectControlHandler(const std::wstring& serviceName);

// Where the control handler hands the control requests: called on the
// dispatcher thread, it must return at once. Empty: only interrogate is
// answered, with the state last reported.
void SetControlTarget(std::function<void(ServiceControl)> target);

// Reports `state` with the service's fixed type, accepted controls and wait
// hint. Returns why the report failed, or "".
std::string SetServiceState(ServiceState state);

}  // namespace duvane::platform::windows
