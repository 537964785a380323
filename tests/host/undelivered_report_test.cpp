// Status reports that the service manager never received end in the system
// log. The system log is replaced here (this program links its own
// WriteSystemLogError) so the entries can be read back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "host_test_support.h"
#include "platform/service_manager.h"
#include "service/duvane_service.h"
#include "service/event_loop/event_loop.h"

namespace {

std::vector<std::pair<std::string, std::string>>& SystemLogEntries() {
  static std::vector<std::pair<std::string, std::string>> entries;
  return entries;
}

}  // namespace

namespace duvane::platform {

void WriteSystemLogError(std::string_view source, std::string_view message) {
  SystemLogEntries().emplace_back(std::string(source), std::string(message));
}

}  // namespace duvane::platform

namespace {

using duvane::platform::ServiceControl;

class UndeliveredReport : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemLogEntries().clear();
    loop_ = duvane::EventLoop::Create([](const std::string&) {});
    service_ = std::make_unique<duvane::TDuvaneS>(
        duvane::ServiceSettings{0, logs_.Path() + "/", "libDuvaneTestNoSuchLibrary.so"}, *loop_);
  }
  void TearDown() override { ::unsetenv("NOTIFY_SOCKET"); }

  hosttest::TempFolder logs_;
  hosttest::TempFolder sockets_;
  std::unique_ptr<duvane::EventLoop> loop_;
  std::unique_ptr<duvane::TDuvaneS> service_;
};

TEST_F(UndeliveredReport, UndeliveredReportOfEachControlRequestIsLoggedUnderTheServiceName) {
  // A manager that went away: nothing listens on its socket.
  ::setenv("NOTIFY_SOCKET", sockets_.File("gone").c_str(), 1);
  for (ServiceControl control : {ServiceControl::Pause, ServiceControl::Continue,
                                 ServiceControl::Interrogate, ServiceControl::Stop}) {
    service_->HandleControl(control);
  }
  ASSERT_EQ(SystemLogEntries().size(), 4u);
  for (const auto& [source, message] : SystemLogEntries()) {
    EXPECT_EQ(source, "DuvaneS");
    EXPECT_FALSE(message.empty());
  }
}

TEST_F(UndeliveredReport, DeliveredOrUnneededReportsLogNothing) {
  ::unsetenv("NOTIFY_SOCKET");  // started by hand: nobody to tell
  service_->HandleControl(ServiceControl::Pause);
  service_->HandleControl(ServiceControl::Continue);
  service_->HandleControl(ServiceControl::Stop);
  EXPECT_TRUE(SystemLogEntries().empty());
}

}  // namespace
