#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "platform/service_manager.h"
#include "service/service_runner.h"

namespace {

using namespace duvane::platform;

// A stand-in for systemd's notification socket.
class NotifySocket {
 public:
  NotifySocket() : path_(folder_.File("notify")) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::setenv("NOTIFY_SOCKET", path_.c_str(), 1);
  }
  ~NotifySocket() {
    ::unsetenv("NOTIFY_SOCKET");
    ::close(fd_);
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool Bound() const { return bound_; }

  // The next message, or "" when none came within two seconds.
  std::string Receive() {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 2000) != 1) return {};
    char buffer[512];
    const ssize_t length = ::recv(fd_, buffer, sizeof buffer, 0);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
  }

 private:
  hosttest::TempFolder folder_;
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
};

TEST(HostServiceStatus, ReportsReachTheServiceManager) {
  NotifySocket systemd;
  ASSERT_TRUE(systemd.Bound());
  EXPECT_EQ(ReportReady(), "");
  EXPECT_EQ(systemd.Receive(), "READY=1");
  // States that systemd does not know are not sent.
  EXPECT_EQ(ReportState(ServiceState::PausePending), "");
  EXPECT_EQ(ReportState(ServiceState::Paused), "");
  EXPECT_EQ(systemd.Receive(), "STATUS=Paused");
  EXPECT_EQ(ReportState(ServiceState::Running), "");
  EXPECT_EQ(systemd.Receive(), "STATUS=Running");
  EXPECT_EQ(ReportState(ServiceState::StopPending), "");
  EXPECT_EQ(systemd.Receive(), "STOPPING=1");
  // The service manager's library is mapped only while a report is sent.
  EXPECT_EQ(hosttest::ReadFile("/proc/self/maps").find("libsystemd"), std::string::npos);
}

TEST(HostServiceStatus, WithoutServiceManagerReportsDoNothing) {
  ::unsetenv("NOTIFY_SOCKET");
  EXPECT_EQ(ReportReady(), "");
  EXPECT_EQ(ReportState(ServiceState::Running), "");
  EXPECT_EQ(ReportState(ServiceState::StopPending), "");
}

// The control handler of the Windows build passes requests on through this:
// a service run has one stop, whatever the manager queued behind it.
TEST(ControlRequests, NoneIsDeliveredAfterTheFirstStopOrShutdown) {
  using C = ServiceControl;
  const struct {
    std::vector<C> sent, delivered;
  } cases[] = {
      {{C::Stop, C::Stop}, {C::Stop}},
      {{C::Stop, C::Interrogate, C::Pause, C::Continue, C::Shutdown}, {C::Stop}},
      {{C::Pause, C::Interrogate, C::Continue, C::Stop, C::Continue},
       {C::Pause, C::Interrogate, C::Continue, C::Stop}},
      {{C::Shutdown, C::Stop}, {C::Shutdown}},
  };
  for (const auto& c : cases) {
    std::vector<C> delivered;
    const auto deliver = duvane::UpToTheStop([&](C control) { delivered.push_back(control); });
    for (C control : c.sent) deliver(control);
    EXPECT_EQ(delivered, c.delivered);
  }
}

}  // namespace
