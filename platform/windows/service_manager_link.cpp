#include "platform/windows/service_manager_link.h"

#include <mutex>

#include "platform/windows/wide_text.h"

namespace duvane::platform::windows {
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

DWORD StateCode(ServiceState state) {
  switch (state) {
    case ServiceState::StartPending:
      return SERVICE_START_PENDING;
    case ServiceState::Running:
      return SERVICE_RUNNING;
    case ServiceState::StopPending:
      return SERVICE_STOP_PENDING;
    case ServiceState::PausePending:
      return SERVICE_PAUSE_PENDING;
    case ServiceState::Paused:
      return SERVICE_PAUSED;
    case ServiceState::ContinuePending:
      return SERVICE_CONTINUE_PENDING;
    case ServiceState::Stopped:
      return SERVICE_STOPPED;
  }
  return SERVICE_STOPPED;
}

bool IsPending(DWORD code) {
  return code == SERVICE_START_PENDING || code == SERVICE_STOP_PENDING ||
         code == SERVICE_PAUSE_PENDING || code == SERVICE_CONTINUE_PENDING;
}

// Caller holds the link's mutex.
std::string Report(Link& link) {
  if (link.handle == nullptr) return {};
  if (SetServiceStatus(link.handle, &link.status)) return {};
  return FromWide(SystemMessage(GetLastError()), kGbk);
}

bool ToControl(DWORD code, ServiceControl& control) {
  switch (code) {
    case SERVICE_CONTROL_STOP:
      control = ServiceControl::Stop;
      return true;
    case SERVICE_CONTROL_PAUSE:
      control = ServiceControl::Pause;
      return true;
    case SERVICE_CONTROL_CONTINUE:
      control = ServiceControl::Continue;
      return true;
    case SERVICE_CONTROL_INTERROGATE:
      control = ServiceControl::Interrogate;
      return true;
    case SERVICE_CONTROL_SHUTDOWN:
      control = ServiceControl::Shutdown;
      return true;
    default:
      return false;  // accepted without effect
  }
}

DWORD WINAPI ControlHandler(DWORD code, DWORD, void*, void*) {
  ServiceControl control{};
  if (!ToControl(code, control)) return NO_ERROR;
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  if (link.target) {
    link.target(control);
  } else if (control == ServiceControl::Interrogate) {
    Report(link);
  }
  return NO_ERROR;
}

}  // namespace

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

void SetControlTarget(std::function<void(ServiceControl)> target) {
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  link.target = std::move(target);
}

std::string SetServiceState(ServiceState state) {
  Link& link = TheLink();
  std::lock_guard lock(link.mutex);
  SERVICE_STATUS& status = link.status;
  status.dwCurrentState = StateCode(state);
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

}  // namespace duvane::platform::windows
