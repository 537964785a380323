// The loop's listener and its tasks: listening, accepting, posted tasks,
// pausing and the periodic task.
//
// Pause does not run the I/O context at all: every socket event, the accept
// throttle's timer included, waits where the system keeps it, and the thread
// sleeps until a task is posted or the periodic task is due.
#include "service/event_loop/asio_loop.h"

namespace duvane {
namespace asio_loop {
namespace {

// After accept fails (for want of descriptors, say), the listener rests this
// long (or until a connection is released) instead of failing again at once
// on the connections waiting in the backlog.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

}  // namespace

std::string SocketErrorText(int systemError, std::string_view call) {
  return "Windows socket error: " + platform::SocketErrorMessage(systemError) + " (" +
         std::to_string(platform::ToWinsockError(systemError)) + "), on API '" + std::string(call) +
         "'";
}

bool AsioLoop::Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                        std::string& error) {
  if (Active()) return true;
  tcp::acceptor listener(io_);
  asio::error_code ec;
  listener.open(tcp::v4(), ec);
  if (ec) {
    error = "Can't create new socket";
    return false;
  }
  // Each step names its call when it fails; "would block" counts as no
  // failure.
  const char* failedCall = nullptr;
  const auto step = [&](const char* call, auto&& run) {
    if (failedCall != nullptr) return;
    run();
    if (ec && ec != asio::error::would_block) failedCall = call;
  };
  if (platform::ListenerReusesAddress()) {
    step("setsockopt", [&] { listener.set_option(tcp::acceptor::reuse_address(true), ec); });
  }
  step("bind", [&] { listener.bind(tcp::endpoint(asio::ip::address_v4::any(), port), ec); });
  step("listen", [&] { listener.listen(backlog, ec); });
  if (failedCall != nullptr) {
    error = SocketErrorText(ec.value(), failedCall);
    return false;
  }
  acceptor_ = std::move(listener);
  handler_ = &handler;
  StartAccept();
  return true;
}

void AsioLoop::Deactivate() {
  for (auto& [key, c] : connections_) {
    c->connected_ = false;
    Close(c->socket_);
  }
  connections_.clear();
  Close(acceptor_);
  acceptRetry_.cancel();
  acceptSuspended_ = false;
}

void AsioLoop::StartAccept() {
  acceptor_.async_accept(acceptedPeer_, [this](const asio::error_code& ec, tcp::socket socket) {
    Accepted(ec, std::move(socket));
  });
}

void AsioLoop::Accepted(const asio::error_code& ec, tcp::socket socket) {
  if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
  if (ec) return SuspendAccept(ec);
  acceptError_.clear();
  auto c = std::make_shared<AsioConnection>(*this, std::move(socket),
                                            acceptedPeer_.address().to_string());
  connections_.emplace(c.get(), c);
  asio::error_code modeError;
  c->socket_.non_blocking(true, modeError);
  Invoke([&] { handler_->OnClientConnect(*c); });
  if (modeError) {
    Fail(*c, SocketErrorKind::General, modeError, "ioctlsocket");
  } else if (c->connected_ && !c->Writing()) {
    StartReceive(c);
  }
  StartAccept();
}

void AsioLoop::SuspendAccept(const asio::error_code& ec) {
  // The listener has no handler of its own. A failure that lasts (out of
  // descriptors) is reported once, not at every try.
  if (ec != acceptError_) onUnhandledError_(SocketErrorText(ec.value(), "accept"));
  acceptError_ = ec;
  acceptSuspended_ = true;
  acceptRetry_.expires_after(kAcceptRetryDelay);
  acceptRetry_.async_wait([this](const asio::error_code& waited) {
    if (!waited && acceptSuspended_) ResumeAccept();
  });
}

void AsioLoop::ResumeAccept() {
  acceptSuspended_ = false;
  acceptRetry_.cancel();
  if (acceptor_.is_open()) StartAccept();
}

void AsioLoop::Post(std::function<void()> task) {
  bool wake = false;
  {
    std::lock_guard lock(tasksMutex_);
    tasks_.push_back(std::move(task));
    wake = !wakePosted_;
    wakePosted_ = true;
  }
  tasksPosted_.notify_one();
  if (wake) asio::post(io_, [this] { RunTasks(true); });
}

void AsioLoop::RunTasks(bool woken) {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(tasksMutex_);
      if (woken) wakePosted_ = false;
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    Invoke(task);
  }
}

void AsioLoop::Run() {
  quit_ = false;
  while (!quit_) {
    if (paused_) {
      WaitWhilePaused();
      continue;
    }
    io_.restart();
    io_.run();  // until Quit or a pause stops it
  }
  RunTasks();
}

void AsioLoop::WaitWhilePaused() {
  {
    std::unique_lock lock(tasksMutex_);
    const auto posted = [this] { return !tasks_.empty(); };
    if (periodic_) {
      tasksPosted_.wait_until(lock, nextPeriodic_, posted);
    } else {
      tasksPosted_.wait(lock, posted);
    }
  }
  RunTasks();
  RunPeriodicWhenDue();
}

void AsioLoop::ArmPeriodic() {
  periodicTimer_.expires_at(nextPeriodic_);
  periodicTimer_.async_wait([this](const asio::error_code& ec) {
    if (ec) return;  // replaced by a later CallEvery
    RunPeriodicWhenDue();
    ArmPeriodic();
  });
}

void AsioLoop::RunPeriodicWhenDue() {
  if (!periodic_ || Clock::now() < nextPeriodic_) return;
  nextPeriodic_ = Clock::now() + period_;
  Invoke(periodic_);
}

}  // namespace asio_loop

std::unique_ptr<EventLoop> EventLoop::Create(
    std::function<void(const std::string&)> onUnhandledError) {
  return std::make_unique<asio_loop::AsioLoop>(std::move(onUnhandledError));
}

}  // namespace duvane
