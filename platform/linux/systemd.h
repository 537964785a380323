// Registration with systemd: the unit file "<unitFolder>/<name>.service".
// Where systemd runs, it is told about the change (daemon-reload) and the
// unit is enabled or disabled; elsewhere the unit file alone is the
// registration. Linux only; the service sees ServiceRegistry.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace duvane::platform {

// Runs systemctl with these arguments; returns why it failed, or "".
using SystemctlRunner = std::function<std::string(const std::vector<std::string>& arguments)>;

// The systemctl program, waited for.
std::string RunSystemctl(const std::vector<std::string>& arguments);

// `systemctl` empty: no systemd to tell (the unit file alone registers).
std::unique_ptr<ServiceRegistry> SystemdRegistry(std::string unitFolder, SystemctlRunner systemctl);

// The full unit file: runs as root in a sandbox, notifies readiness, started
// at boot with the multi-user target.
std::string UnitFileText(const ServiceDefinition& service);

}  // namespace duvane::platform
