// Registering a program as a system service with systemd, and removing it.
//
// The registration is the unit file "<unitFolder>/<name>.service". Where
// systemd runs, it is told about the change (daemon-reload) and the unit is
// enabled or disabled; elsewhere the unit file alone is the registration.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace duvane::platform {

struct ServiceDefinition {
  std::string name;         // unit name without ".service"
  std::string description;  // shown by systemctl status
  std::string programPath;  // full path of the program; started without arguments
};

// Runs systemctl with these arguments; returns why it failed, or "".
using SystemctlRunner = std::function<std::string(const std::vector<std::string>& arguments)>;

struct ServiceManager {
  std::string unitFolder;
  // Empty where systemd is not running.
  SystemctlRunner systemctl;
};

// The registration texts of the failures that a user meets most, in the
// system-error form with the Windows error numbers, so that they read the same
// on every platform (as the socket errors do).
inline constexpr std::string_view kServiceExistsError =
    "System Error.  Code: 1073.\r\nThe specified service already exists.";
inline constexpr std::string_view kServiceMissingError =
    "System Error.  Code: 1060.\r\nThe specified service does not exist as an installed service.";

// True when this machine was booted with systemd (/run/systemd/system exists).
bool SystemdIsRunning();

// Runs the systemctl program and waits for it.
std::string RunSystemctl(const std::vector<std::string>& arguments);

// `unitFolder` with the running systemd, if any, as its manager.
ServiceManager SystemServiceManager(std::string unitFolder);

// The full unit file for the service: runs as root, notifies readiness,
// started at boot with the multi-user target.
std::string UnitFileText(const ServiceDefinition& service);

// Whether the service manager can take a registration at all (on systemd:
// the unit folder is a folder this process may write). Returns the system's
// error text, or "" when it can. This failure is not the service's own: it is
// told as it stands, not as a failed install or uninstall.
std::string ReachServiceManager(const ServiceManager& manager);

// Each returns the error text, or "" on success.
std::string InstallService(const ServiceManager& manager, const ServiceDefinition& service);
std::string UninstallService(const ServiceManager& manager, std::string_view serviceName);

}  // namespace duvane::platform
