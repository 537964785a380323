// The event loop on standalone Asio, the same code on every system (epoll on
// Linux, I/O completion ports on Windows). Only the thread that calls Run runs
// its handlers, one at a time. The contract it keeps is in event_loop.h.
//
// Pause does not run the I/O context at all: every socket event, the accept
// throttle's timer included, waits where the system keeps it, and the thread
// sleeps until a task is posted or the periodic task is due.
#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/event_loop.h"
#include "platform/handler_call.h"
#include "platform/socket_system.h"

namespace duvane::platform {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// After accept fails (for want of descriptors, say), the listener rests this
// long (or until a connection is released) instead of failing again at once
// on the connections waiting in the backlog.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

class AsioLoop;

class AsioConnection final : public Connection {
 public:
  AsioConnection(AsioLoop& loop, tcp::socket socket, std::string peer)
      : loop_(loop),
        socket_(std::move(socket)),
        handle_(static_cast<int>(socket_.native_handle())),
        peer_(std::move(peer)) {}

  int Handle() const override { return handle_; }
  bool Connected() const override { return connected_; }
  std::string PeerAddress() const override { return connected_ ? peer_ : std::string(); }
  void Send(std::string_view bytes) override;

  // A reply is still going out; the connection is not read meanwhile.
  bool Writing() const { return !sending_.empty(); }
  std::uintptr_t Native() { return static_cast<std::uintptr_t>(socket_.native_handle()); }
  // Takes a receive's end of the stream as the clean close it is (true), or
  // as the reset it hides on some systems (`ec` then says so).
  bool EndOfStream(asio::error_code& ec) {
    if (ec != asio::error::eof) return false;
    if (EndOfStreamWasReset(Native())) {
      ec = asio::error::connection_reset;
      return false;
    }
    ec.clear();
    return peerClosed_ = true;
  }

  AsioLoop& loop_;
  tcp::socket socket_;
  const int handle_;
  const std::string peer_;
  bool connected_ = true;
  bool peerClosed_ = false;
  // The waiting receive takes a request into this; a longer one is taken
  // on into the loop's buffer in the same event.
  std::array<char, 1024> head_;
  std::string sending_;  // being written; the write holds this buffer
  std::string queued_;   // later Sends, written after `sending_`
};

using ConnectionPtr = std::shared_ptr<AsioConnection>;

class AsioLoop final : public EventLoop {
 public:
  explicit AsioLoop(std::function<void(const std::string&)> onUnhandledError)
      : onUnhandledError_(std::move(onUnhandledError)) {}
  ~AsioLoop() override { Deactivate(); }

  bool Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                std::string& error) override;
  void Deactivate() override;
  bool Active() const override { return acceptor_.is_open(); }
  uint16_t LocalPort() const override {
    asio::error_code ec;
    const tcp::endpoint local = acceptor_.local_endpoint(ec);
    return ec ? 0 : local.port();
  }

  void Post(std::function<void()> task) override;
  void Run() override;
  void Quit() override {
    quit_ = true;
    io_.stop();
  }
  void SetPaused(bool paused) override {
    paused_ = paused;
    if (paused) io_.stop();  // Run goes on waiting for tasks only
  }
  void CallEvery(std::chrono::milliseconds period, std::function<void()> task) override {
    periodic_ = std::move(task);
    period_ = period;
    nextPeriodic_ = Clock::now() + period_;
    ArmPeriodic();
  }

  // Called by connections, from inside a handler of theirs.
  void StartWrite(AsioConnection& c);
  // The error event for the failed `call`, then the connection is closed,
  // with the disconnect event when `disconnect`.
  void Fail(AsioConnection& c, SocketErrorKind kind, const asio::error_code& ec, const char* call,
            bool disconnect = false);

 private:
  template <typename F>
  void Invoke(F&& call) {
    CallHandler(onUnhandledError_, std::forward<F>(call));
  }
  // Nothing is left to do for a socket that fails to close but to say so.
  template <typename Socket>
  void Close(Socket& socket) {
    asio::error_code ec;
    socket.close(ec);
    if (ec) onUnhandledError_(SocketErrorText(ec.value(), "closesocket"));
  }
  void StartAccept();
  void Accepted(const asio::error_code& ec, tcp::socket socket);
  void SuspendAccept(const asio::error_code& ec);
  void ResumeAccept();
  void StartReceive(ConnectionPtr c);
  void Received(const ConnectionPtr& c, asio::error_code ec, size_t headBytes);
  std::string_view ReceiveRest(AsioConnection& c, size_t headBytes, asio::error_code& ec);
  void ReceiveLater(ConnectionPtr c);
  void Written(const ConnectionPtr& c, const asio::error_code& ec);
  void CloseByPeer(AsioConnection& c);
  void Release(AsioConnection& c);
  // `woken`: run by the handler that Post put in the I/O context's queue.
  void RunTasks(bool woken = false);
  void WaitWhilePaused();
  void ArmPeriodic();
  void RunPeriodicWhenDue();

  std::function<void(const std::string&)> onUnhandledError_;
  // One thread runs it and does all its I/O; other threads only post to it.
  asio::io_context io_{ASIO_CONCURRENCY_HINT_UNSAFE_IO};
  asio::executor_work_guard<asio::io_context::executor_type> work_{io_.get_executor()};
  tcp::acceptor acceptor_{io_};
  tcp::endpoint acceptedPeer_;
  asio::steady_timer acceptRetry_{io_};
  bool acceptSuspended_ = false;
  asio::error_code acceptError_;  // of the last accept, until one succeeds
  ConnectionHandler* handler_ = nullptr;
  std::map<AsioConnection*, ConnectionPtr> connections_;
  // Where a read event longer than a connection's head is put together;
  // left unfilled, so only the pages a receive writes become resident.
  std::unique_ptr<char[]> readBuffer_{new char[kMaxReadBytes]};

  std::mutex tasksMutex_;
  std::condition_variable tasksPosted_;
  std::deque<std::function<void()>> tasks_;
  // A handler that runs the tasks is in the I/O context's queue: at most
  // one, however many tasks come while paused.
  bool wakePosted_ = false;
  bool quit_ = false;
  bool paused_ = false;

  asio::steady_timer periodicTimer_{io_};
  std::function<void()> periodic_;
  std::chrono::milliseconds period_{0};
  Clock::time_point nextPeriodic_{};
};

void AsioConnection::Send(std::string_view bytes) {
  if (!connected_ || bytes.empty()) return;
  size_t sent = 0;
  if (!Writing()) {
    // The peer may have closed while the request was being handled; the
    // reset that answers this reply must not hide that clean close.
    if (!peerClosed_) peerClosed_ = PeerClosedBeforeReply(Native());
    asio::error_code ec;
    sent = socket_.send(asio::buffer(bytes.data(), bytes.size()), 0, ec);
    if (ec && ec != asio::error::would_block)
      return loop_.Fail(*this, SocketErrorKind::Send, ec, "send", true);
    if (sent == bytes.size()) return;
  }
  const std::string_view rest = bytes.substr(sent);
  if (sending_.size() + queued_.size() + rest.size() > kMaxUnsentBytes) {
    return loop_.Fail(*this, SocketErrorKind::Send, asio::error::no_buffer_space, "send", true);
  }
  if (Writing()) {
    queued_.append(rest);
  } else {
    sending_.assign(rest);
    loop_.StartWrite(*this);
  }
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
  if (ListenerReusesAddress()) {
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

void AsioLoop::StartReceive(ConnectionPtr c) {
  AsioConnection& connection = *c;
  connection.socket_.async_receive(
      asio::buffer(connection.head_),
      [this, c = std::move(c)](const asio::error_code& ec, size_t n) { Received(c, ec, n); });
}

void AsioLoop::Received(const ConnectionPtr& c, asio::error_code ec, size_t headBytes) {
  if (!c->connected_) return;
  if (c->EndOfStream(ec)) return CloseByPeer(*c);
  // A receive fails for the connection's own error, a reset: no disconnect
  // event follows.
  if (ec) return Fail(*c, SocketErrorKind::Receive, ec, "recv");
  const std::string_view received = ReceiveRest(*c, headBytes, ec);
  Invoke([&] { handler_->OnClientRead(*c, received); });
  if (!c->connected_) return;
  if (ec) return Fail(*c, SocketErrorKind::Receive, ec, "recv");
  if (c->Writing()) return;  // reading goes on once the reply is out
  if (c->peerClosed_) return CloseByPeer(*c);
  ReceiveLater(c);
}

// The bytes of a read event: the head, and when it is full, what else has
// arrived, up to the most an event carries.
std::string_view AsioLoop::ReceiveRest(AsioConnection& c, size_t headBytes, asio::error_code& ec) {
  if (headBytes < c.head_.size()) return std::string_view(c.head_.data(), headBytes);
  std::copy_n(c.head_.data(), headBytes, readBuffer_.get());
  const size_t rest = c.socket_.receive(
      asio::buffer(readBuffer_.get() + headBytes, kMaxReadBytes - headBytes), 0, ec);
  if (!c.EndOfStream(ec) && ec == asio::error::would_block) ec.clear();
  return std::string_view(readBuffer_.get(), headBytes + rest);
}

// Behind the events already waiting: a client that answers a reply at once
// has often sent its next request by then, and the receive takes it
// without waiting for a notification.
void AsioLoop::ReceiveLater(ConnectionPtr c) {
  asio::post(io_, [this, c = std::move(c)]() mutable {
    if (c->connected_) StartReceive(std::move(c));
  });
}

void AsioLoop::StartWrite(AsioConnection& c) {
  // The connection is kept alive by the map while it is connected; the
  // write's handler holds it after that.
  ConnectionPtr held = connections_.at(&c);
  asio::async_write(c.socket_, asio::buffer(c.sending_),
                    [this, held](const asio::error_code& ec, size_t) { Written(held, ec); });
}

void AsioLoop::Written(const ConnectionPtr& c, const asio::error_code& ec) {
  if (!c->connected_) return;
  if (ec) return Fail(*c, SocketErrorKind::Send, ec, "select");
  c->sending_ = std::move(c->queued_);
  c->queued_ = std::string();
  if (c->Writing()) return StartWrite(*c);
  if (c->peerClosed_) return CloseByPeer(*c);
  StartReceive(c);
}

// A clean close seen before wins over whatever error comes after it; a broken
// pipe is the reset that answers bytes sent after that close.
void AsioLoop::Fail(AsioConnection& c, SocketErrorKind kind, const asio::error_code& ec,
                    const char* call, bool disconnect) {
  if (c.peerClosed_ || ec == asio::error::broken_pipe) {
    c.peerClosed_ = true;
    return CloseByPeer(c);
  }
  int code = ToWinsockError(ec.value());
  Invoke([&] { handler_->OnClientError(c, kind, code); });
  if (code != 0) onUnhandledError_(SocketErrorText(ec.value(), call));
  if (disconnect) return CloseByPeer(c);
  Release(c);
}

void AsioLoop::CloseByPeer(AsioConnection& c) {
  // The handler runs while the socket is still open, so it can name the peer.
  Invoke([&] { handler_->OnClientDisconnect(c); });
  Release(c);
}

void AsioLoop::Release(AsioConnection& c) {
  if (!c.connected_) return;
  c.connected_ = false;
  Close(c.socket_);
  // Handlers still waiting hold the connection until they have run.
  connections_.erase(&c);
  if (acceptSuspended_) ResumeAccept();
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

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create(
    std::function<void(const std::string&)> onUnhandledError) {
  return std::make_unique<AsioLoop>(std::move(onUnhandledError));
}

}  // namespace duvane::platform
