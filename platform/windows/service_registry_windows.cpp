// Registration with the service control manager of this machine.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/service_manager.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
namespace {

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// In UTF-8 like every message of the command line.
std::string LastSystemError() {
  const DWORD error = GetLastError();
  if (error == 0) return "A call to an OS function failed";
  return SystemErrorText(error, windows::WideToUtf8(windows::SystemMessage(error)));
}

// The manager splits an unquoted command at blanks and would try the
// shorter paths first ("C:\Program.exe" for "C:\Program Files\...").
std::wstring CommandLine(const std::string& programPath) {
  const std::wstring path = windows::Utf8ToWide(programPath);
  if (path.find(L' ') == std::wstring::npos) return path;
  return L"\"" + path + L"\"";
}

ServiceHandle OpenManager() {
  return ServiceHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

class ControlManagerRegistry final : public ServiceRegistry {
 public:
  std::string Reach() override { return OpenManager() ? std::string() : LastSystemError(); }

  std::string Install(const ServiceDefinition& service) override {
    ServiceHandle manager = OpenManager();
    if (!manager) return LastSystemError();
    const std::wstring command = CommandLine(service.programPath);
    // Local system account: no account name and no password.
    ServiceHandle created(CreateServiceW(manager.get(), windows::Utf8ToWide(service.name).c_str(),
                                         windows::Utf8ToWide(service.description).c_str(),
                                         SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(),
                                         nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created) return LastSystemError();
    return {};
  }

  std::string Uninstall(std::string_view serviceName) override {
    ServiceHandle manager = OpenManager();
    if (!manager) return LastSystemError();
    ServiceHandle service(
        OpenServiceW(manager.get(), windows::Utf8ToWide(serviceName).c_str(), SERVICE_ALL_ACCESS));
    if (!service || !DeleteService(service.get())) return LastSystemError();
    return {};
  }
};

}  // namespace

// The manager keeps its registrations itself: no place to name.
std::unique_ptr<ServiceRegistry> ServiceRegistry::Open(const std::string&) {
  return std::make_unique<ControlManagerRegistry>();
}

}  // namespace duvane::platform
