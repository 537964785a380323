#include "tests/support/in_process_service.h"

#include <stdlib.h>

#include <atomic>
#include <filesystem>

#include "platform/clock.h"
#include "service/daily_log.h"

namespace testsupport {

using duvane::platform::ServiceControl;

InProcessService::InProcessService(InProcessOptions options) : folder_(options.logFolder) {
  if (folder_.empty()) {
    char tmpl[] = "/tmp/duvane-svc-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) folder_ = std::string(tmpl) + "/";
    ownFolder_ = true;
  }
  loop_ = duvane::EventLoop::Create([this](const std::string& m) { unhandled_.push_back(m); });
  service_ = std::make_unique<duvane::TDuvaneS>(
      duvane::ServiceSettings{options.port, folder_, options.readerLibrary}, *loop_);
  service_->ServiceStart();
  port_ = loop_->LocalPort();
  // A start whose listener failed runs no loop: there is nothing to serve.
  if (loop_->Active()) thread_ = std::thread([this] { loop_->Run(); });
}

InProcessService::~InProcessService() {
  if (thread_.joinable()) Stop();
  std::error_code ignored;
  if (ownFolder_) std::filesystem::remove_all(folder_, ignored);
}

std::string InProcessService::LogPath() const {
  return folder_ + duvane::LogFileName(duvane::platform::NowLocal());
}

void InProcessService::Control(ServiceControl control) {
  loop_->Post([this, control] { service_->HandleControl(control); });
}

bool InProcessService::OnServiceThread(std::function<void()> task) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  loop_->Post([task = std::move(task), done] {
    task();
    *done = true;
  });
  return Eventually([&] { return done->load(); });
}

bool InProcessService::Pause() {
  Control(ServiceControl::Pause);
  return PausedIs(true);
}

bool InProcessService::Continue() {
  Control(ServiceControl::Continue);
  return PausedIs(false);
}

bool InProcessService::PausedIs(bool wanted) {
  // Requests run in order: the look runs after the control is carried out.
  auto paused = std::make_shared<std::atomic<bool>>(!wanted);
  return OnServiceThread([this, paused] { *paused = service_->Paused(); }) && *paused == wanted;
}

bool InProcessService::Stop() {
  if (!thread_.joinable()) return false;
  Control(ServiceControl::Stop);
  thread_.join();
  return true;
}

}  // namespace testsupport
