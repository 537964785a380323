// The service control manager runs the service entry on a dispatcher
// thread and calls the control handler there. This process's link to it is
// the handle that the entry registers; before that (the program was not
// started as a service) the reports do nothing and no control request
// arrives.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "platform/host.h"
#include "platform/service_manager.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
namespace {

// Every pending state promises the next report within this time.
constexpr DWORD kWaitHintMs = 5000;

struct Link {
  std::mutex mutex;
  SERVICE_STATUS_HANDLE handle = nullptr;
  SERVICE_STATUS status{};
  std::function<void(ServiceControl)> target;
};

Link& TheLink() {
  static Link link;
  return link;
}

// In the order of ServiceState.
constexpr DWORD kStateCodes[] = {SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                 SERVICE_PAUSE_PENDING, SERVICE_PAUSED,  SERVICE_CONTINUE_PENDING,
                                 SERVICE_STOPPED};

std::string MessageText(DWORD error) {
  return windows::FromWide(windows::SystemMessage(error), windows::kGbk);
}

bool IsPending(DWORD code) {
  return code == SERVICE_START_PENDING || code == SERVICE_STOP_PENDING ||
         code == SERVICE_PAUSE_PENDING || code == SERVICE_CONTINUE_PENDING;
}

// Caller holds the link's mutex.
std::string Report(Link& link) {
  if (link.handle == nullptr) return {};
  if (SetServiceStatus(link.handle, &link.status)) return {};
  return MessageText(GetLastError());
}

// Other controls are accepted without effect.
constexpr struct {
  DWORD code;
  ServiceControl control;
} kControls[] = {{SERVICE_CONTROL_STOP, ServiceControl::Stop},
                 {SERVICE_CONTROL_PAUSE, ServiceControl::Pause},
                 {SERVICE_CONTROL_CONTINUE, ServiceControl::Continue},
                 {SERVICE_CONTROL_INTERROGATE, ServiceControl::Interrogate},
                 {SERVICE_CONTROL_SHUTDOWN, ServiceControl::Shutdown}};

DWORD WINAPI ControlHandler(DWORD code, DWORD, void*, void*) {
  for (const auto& [known, control] : kControls) {
    if (known != code) continue;
    Link& link = TheLink();
    std::lock_guard lock(link.mutex);
    if (link.target) {
      link.target(control);
    } else if (control == ServiceControl::Interrogate) {
      Report(link);
    }
  }
  return NO_ERROR;
}

// Registers the control handler under `serviceName`. Returns 0 or the
// system's error number.
DWORD ConnectControlHandler(const std::wstring& serviceName) {
  SERVICE_STATUS_HANDLE handle =
      RegisterServiceCtrlHandlerExW(serviceName.c_str(), ControlHandler, nullptr);
  if (handle == nullptr) return GetLastError();
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  link.handle = handle;
  link.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  return 0;
}

// Where the control handler hands the requests: called on the dispatcher
// thread, under the link's lock, it must return at once. Empty: only
// interrogate is answered, with the state last reported.
void SetControlTarget(std::function<void(ServiceControl)> target) {
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  link.target = std::move(target);
}

// Reports `state` with the service's fixed type, accepted controls and wait
// hint.
std::string SetServiceState(ServiceState state) {
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  SERVICE_STATUS& status = link.status;
  status.dwCurrentState = kStateCodes[static_cast<int>(state)];
  status.dwControlsAccepted =
      state == ServiceState::StartPending
          ? 0
          : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  const bool pending = IsPending(status.dwCurrentState);
  status.dwWaitHint = pending ? kWaitHintMs : 0;
  status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
  return Report(link);
}

// The service control manager shows the service running until the service
// thread takes the stop, so while a long command holds that thread it
// accepts more requests behind the stop.
class ControlHandlerSource final : public ControlRequestSource {
 public:
  explicit ControlHandlerSource(std::function<void(ServiceControl)> deliver) {
    SetControlTarget(std::move(deliver));
  }
  ~ControlHandlerSource() override { SetControlTarget({}); }
};

// What the service entry needs; the dispatcher calls it without arguments
// of ours.
struct HostedService {
  std::string name;
  const ServiceBody* body = nullptr;
  int exitStatus = 0;
};

HostedService theService;

// Runs on a thread that the service control manager provides.
void WINAPI ServiceEntry(DWORD, LPWSTR*) {
  if (DWORD error = ConnectControlHandler(windows::Utf8ToWide(theService.name))) {
    WriteSystemLogError(theService.name, MessageText(error));
    return;
  }
  if (std::string failure = SetServiceState(ServiceState::StartPending); !failure.empty()) {
    WriteSystemLogError(theService.name, failure);
  }
  std::thread serviceThread([] { theService.exitStatus = (*theService.body)(); });
  serviceThread.join();
  // The exit code reported is always 0: failures are in the logs.
  if (std::string failure = SetServiceState(ServiceState::Stopped); !failure.empty()) {
    WriteSystemLogError(theService.name, failure);
  }
}

}  // namespace

int RunAsService(std::string_view serviceName, std::string_view programName,
                 const ServiceBody& body) {
  theService.name = std::string(serviceName);
  theService.body = &body;
  std::wstring name = windows::Utf8ToWide(serviceName);
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceEntry}, {nullptr, nullptr}};

  // The dispatcher has a thread of its own; this one waits for it.
  DWORD dispatcherError = 0;
  std::thread dispatcher([&] {
    if (!StartServiceCtrlDispatcherW(table)) dispatcherError = GetLastError();
  });
  dispatcher.join();
  if (dispatcherError != 0) {
    WriteSystemLogError(programName, MessageText(dispatcherError));
    // Started by hand from a console: the system's message is in the user's
    // language, and the console shows UTF-8 only once it is told so.
    PrepareConsoleOutput();
    const std::string shown = windows::WideToUtf8(windows::SystemMessage(dispatcherError));
    std::fprintf(stderr, "%s\n", shown.c_str());
    return 1;
  }
  return theService.exitStatus;
}

// Control requests are no signals here: nothing to prepare.
void ControlRequestSource::PrepareProcess() {}

std::unique_ptr<ControlRequestSource> ControlRequestSource::Start(
    std::function<void(ServiceControl)> deliver) {
  return std::make_unique<ControlHandlerSource>(std::move(deliver));
}

std::string ReportState(ServiceState state) { return SetServiceState(state); }

// The service control manager learns readiness from the running state.
std::string ReportReady() { return {}; }

}  // namespace duvane::platform
