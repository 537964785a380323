// Sends one control request to a service and waits until the service has
// carried it out, for the tests under Wine, whose sc knows no pause,
// continue or interrogate.
//
//   service-control NAME pause|continue|interrogate
//
// Prints the state the service then reports (PAUSED, RUNNING, ...) and exits
// with 0, or prints why it failed and exits with 1.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

struct Request {
  const char* name;
  DWORD code;
  DWORD awaited;  // 0: whatever state the service reports
};

constexpr Request kRequests[] = {
    {"pause", SERVICE_CONTROL_PAUSE, SERVICE_PAUSED},
    {"continue", SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING},
    {"interrogate", SERVICE_CONTROL_INTERROGATE, 0},
};

const char* StateName(DWORD state) {
  constexpr const char* kNames[] = {"?",       "STOPPED",          "START_PENDING", "STOP_PENDING",
                                    "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return state < sizeof kNames / sizeof kNames[0] ? kNames[state] : "?";
}

int Fail(const char* call) {
  std::printf("%s failed: %lu\n", call, GetLastError());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const Request* request = nullptr;
  for (const Request& r : kRequests) {
    if (argc == 3 && std::strcmp(argv[2], r.name) == 0) request = &r;
  }
  if (request == nullptr) {
    std::printf("usage: service-control NAME pause|continue|interrogate\n");
    return 2;
  }
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return Fail("OpenSCManager");
  SC_HANDLE service = OpenServiceA(manager, argv[1], SERVICE_ALL_ACCESS);
  if (service == nullptr) return Fail("OpenService");
  SERVICE_STATUS status{};
  if (!ControlService(service, request->code, &status)) return Fail("ControlService");
  for (int tries = 0; request->awaited != 0 && status.dwCurrentState != request->awaited; ++tries) {
    if (tries == 100) {
      std::printf("still %s after 10 s\n", StateName(status.dwCurrentState));
      return 1;
    }
    Sleep(100);
    if (!QueryServiceStatus(service, &status)) return Fail("QueryServiceStatus");
  }
  std::printf("%s\n", StateName(status.dwCurrentState));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}
