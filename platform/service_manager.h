// The system's service manager: running as its service, its control
// requests, status reports to it, the system log, and registering the
// program with it. systemd on Linux, the service control manager on Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace duvane::platform {

// The service's own work: the start sequence, then serving until a stop or
// shutdown. Returns the exit status.
using ServiceBody = std::function<int()>;

// Runs `body` as the service `serviceName` and returns the process's exit
// status. When the program was not started by the manager (Windows) the
// system's message goes to the system log under `programName` and to standard
// error, and the result is 1.
int RunAsService(std::string_view serviceName, std::string_view programName,
                 const ServiceBody& body);

// On Linux signals: SIGTERM and SIGINT stop, SIGUSR1 pauses, SIGUSR2
// continues, SIGHUP interrogates; systemd cannot tell a shutdown from a stop.
enum class ServiceControl { Stop, Pause, Continue, Interrogate, Shutdown };

class ControlRequestSource {
 public:
  // Must run before any other thread of the process starts, so that control
  // requests reach only the source's own thread.
  static void PrepareProcess();
  // Calls `deliver` for each request in arrival order, from a thread that is
  // not the caller's, until the source is destroyed (on Linux, until the
  // first stop).
  static std::unique_ptr<ControlRequestSource> Start(std::function<void(ServiceControl)> deliver);
  virtual ~ControlRequestSource() = default;
};

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

// Each report returns why it could not be delivered, or "" when it was
// delivered or nobody listens (the program was started by hand). A manager
// that has no such state (systemd knows no pending pause) is told nothing.
std::string ReportState(ServiceState state);
// The start sequence has run.
std::string ReportReady();

// One error entry in the system's own log (syslog, the event log) under
// `source` (the program's file name, or the service name), for failures the
// service cannot write to its daily log.
void WriteSystemLogError(std::string_view source, std::string_view message);

struct ServiceDefinition {
  std::string name;         // the service's name for the manager
  std::string description;  // shown by the manager's tools
  std::string programPath;  // full path of the program; started without arguments
};

// The form of a registration failure that the system reports.
inline std::string SystemErrorText(unsigned long code, std::string_view message) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + std::string(message);
}

// Registering the program as a service of the manager, and removing it. Each
// returns the error text (mostly a SystemErrorText), or "" on success.
class ServiceRegistry {
 public:
  // `place` is where the manager keeps registrations (kServiceRegistry).
  static std::unique_ptr<ServiceRegistry> Open(const std::string& place);
  virtual ~ServiceRegistry() = default;

  // Whether the manager can take a registration at all (systemd: the unit
  // folder is one this process may write). Told as it stands, not as a
  // failed registration.
  virtual std::string Reach() = 0;
  virtual std::string Install(const ServiceDefinition& service) = 0;
  virtual std::string Uninstall(std::string_view serviceName) = 0;
};

}  // namespace duvane::platform
