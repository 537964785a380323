// libsystemd is loaded only for the moment of a report, and only when a
// service manager asked for reports (NOTIFY_SOCKET is set). Linked for good,
// it and the compression and crypto libraries it needs would hold about a
// megabyte of the idle service's resident memory for the few datagrams the
// service sends in its life.
#include <dlfcn.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <cstring>

#include "platform/service_status.h"

namespace duvane::platform {
namespace {

constexpr const char* kSystemdLibrary = "libsystemd.so.0";

std::string LoaderError(const char* what) {
  const char* detail = ::dlerror();
  return std::string(what) + " " + kSystemdLibrary + (detail != nullptr ? ": " : "") +
         (detail != nullptr ? detail : "");
}

std::string Notify(const std::string& state) {
  // sd_notify does nothing without NOTIFY_SOCKET: nobody to tell.
  if (std::getenv("NOTIFY_SOCKET") == nullptr) return {};
  ::dlerror();
  void* library = ::dlopen(kSystemdLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return LoaderError("cannot load");
  const auto notify = reinterpret_cast<decltype(&::sd_notify)>(::dlsym(library, "sd_notify"));
  std::string failure;
  if (notify == nullptr) {
    failure = LoaderError("no sd_notify in");
  } else if (const int result = notify(0, state.c_str()); result < 0) {
    failure = std::strerror(-result);
  }
  ::dlclose(library);
  return failure;
}

}  // namespace

std::string ReportState(ServiceState state) {
  switch (state) {
    case ServiceState::Running:
      return ReportStatus("Running");
    case ServiceState::Paused:
      return ReportStatus("Paused");
    case ServiceState::StopPending:
      return ReportStopping();
    default:
      return {};  // states that systemd does not know
  }
}

std::string ReportReady() { return Notify("READY=1"); }

std::string ReportStopping() { return Notify("STOPPING=1"); }

std::string ReportStatus(std::string_view text) {
  std::string state = "STATUS=";
  for (char c : text) {
    if (c == '\0') break;
    state.push_back(c == '\n' || c == '\r' ? ' ' : c);
  }
  return Notify(state);
}

}  // namespace duvane::platform
