#include "tests/support/in_process_service.h"

#include <stdlib.h>

#include <atomic>
#include <filesystem>

#include "platform/clock.h"
#include "service/daily_log.h"

namespace testsupport {

InProcessService::InProcessService(InProcessOptions options) {
  char tmpl[] = "/tmp/duvane-svc-XXXXXX";
  if (mkdtemp(tmpl) != nullptr) folder_ = std::string(tmpl) + "/";
  loop_ = duvane::EventLoop::Create([this](const std::string& m) { unhandled_.push_back(m); });
  service_ = std::make_unique<duvane::TDuvaneS>(
      duvane::ServiceSettings{options.port, folder_, options.readerLibrary}, *loop_);
  service_->ServiceStart();
  port_ = loop_->LocalPort();
  // A start whose listener failed has no loop to run.
  if (loop_->Active()) thread_ = std::thread([this] { loop_->Run(); });
}

InProcessService::~InProcessService() {
  if (thread_.joinable()) Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string InProcessService::LogPath() const {
  return folder_ + duvane::LogFileName(duvane::platform::NowLocal());
}

bool InProcessService::Carry(ServiceControl control, bool paused) {
  Control(control);
  // Shared: the look may still run after a wait that gave up.
  auto seen = std::make_shared<std::atomic<int>>(-1);
  loop_->Post([this, seen] { *seen = service_->Paused() ? 1 : 0; });
  return Eventually([&] { return *seen >= 0; }) && (*seen == 1) == paused;
}

bool InProcessService::Stop() {
  if (!thread_.joinable()) return false;
  Control(ServiceControl::Stop);
  thread_.join();
  return true;
}

}  // namespace testsupport
