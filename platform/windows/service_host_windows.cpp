#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/console.h"
#include "platform/service_host.h"
#include "platform/system_log.h"
#include "platform/windows/service_manager_link.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {
namespace {

// What the service entry needs; the dispatcher calls it without arguments
// of ours.
struct HostedService {
  std::string name;
  const ServiceBody* body = nullptr;
  int exitStatus = 0;
};

HostedService theService;

std::string MessageText(DWORD error) {
  return windows::FromWide(windows::SystemMessage(error), windows::kGbk);
}

// Runs on a thread that the service control manager provides.
void WINAPI ServiceEntry(DWORD, LPWSTR*) {
  if (DWORD error = windows::ConnectControlHandler(windows::Utf8ToWide(theService.name))) {
    WriteSystemLogError(theService.name, MessageText(error));
    return;
  }
  if (std::string failure = windows::SetServiceState(ServiceState::StartPending);
      !failure.empty()) {
    WriteSystemLogError(theService.name, failure);
  }
  std::thread serviceThread([] { theService.exitStatus = (*theService.body)(); });
  serviceThread.join();
  // The exit code reported is always 0: failures are in the logs.
  if (std::string failure = windows::SetServiceState(ServiceState::Stopped); !failure.empty()) {
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
    const std::string message = MessageText(dispatcherError);
    WriteSystemLogError(programName, message);
    // Started by hand from a console: the system's message is in the user's
    // language, and the console shows UTF-8 only once it is told so.
    PrepareConsoleOutput();
    const std::string shown = windows::WideToUtf8(windows::SystemMessage(dispatcherError));
    std::fprintf(stderr, "%s\n", shown.c_str());
    return 1;
  }
  return theService.exitStatus;
}

}  // namespace duvane::platform
