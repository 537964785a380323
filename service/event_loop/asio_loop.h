// The event loop on standalone Asio, the same code on every system (epoll on
// Linux, I/O completion ports on Windows): its two classes, shared by the
// listener and tasks (asio_loop.cpp) and the connections' I/O
// (asio_connection.cpp). Only the thread that calls Run runs its handlers,
// one at a time. The contract it keeps is in event_loop.h.
#pragma once

#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>

#include "platform/sockets.h"
#include "service/event_loop/event_loop.h"

namespace duvane::asio_loop {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

class AsioLoop;

// "Windows socket error: <system message> (<number>), on API '<call>'": the
// Windows Sockets number on every system.
std::string SocketErrorText(int systemError, std::string_view call);

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
    if (platform::EndOfStreamWasReset(Native())) {
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
  // An exception that escapes a handler is reported and the loop goes on.
  template <typename F>
  void Invoke(F&& call) {
    try {
      call();
    } catch (const std::exception& e) {
      onUnhandledError_(e.what());
    } catch (...) {
      onUnhandledError_("Unknown exception in a socket event handler");
    }
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

}  // namespace duvane::asio_loop
