// The event loop on epoll, level-triggered. Connection events are delivered
// one at a time; a connection closed during an event is released only after
// that event, so handlers never see a dangling connection.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/event_loop.h"
#include "platform/socket_errors.h"

namespace duvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kWakeId = 0;
constexpr uint64_t kListenerId = 1;
// After accept fails for want of descriptors, the listener rests this long
// (or until a connection is released) instead of spinning on the backlog.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

class EpollLoop;

class EpollConnection final : public Connection {
 public:
  EpollConnection(EpollLoop& loop, uint64_t id, int fd, std::string peer)
      : loop_(loop), id_(id), fd_(fd), peer_(std::move(peer)) {}
  ~EpollConnection() override { CloseSocket(); }

  int Handle() const override { return fd_; }
  bool Connected() const override { return connected_; }
  std::string PeerAddress() const override { return connected_ ? peer_ : std::string(); }
  std::string ReceiveAvailable(size_t maxBytes) override;
  void Send(std::string_view bytes) override;

  uint64_t Id() const { return id_; }
  void CloseSocket() {
    if (connected_) ::close(fd_);
    connected_ = false;
  }

 private:
  EpollLoop& loop_;
  uint64_t id_;
  int fd_;
  bool connected_ = true;
  std::string peer_;
};

class EpollLoop final : public EventLoop {
 public:
  explicit EpollLoop(std::function<void(const std::string&)> onUnhandledError)
      : onUnhandledError_(std::move(onUnhandledError)) {
    epfd_ = epoll_create1(EPOLL_CLOEXEC);
    wakefd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    Watch(wakefd_, kWakeId, EPOLLIN);
  }
  ~EpollLoop() override {
    Deactivate();
    ::close(wakefd_);
    ::close(epfd_);
  }

  bool Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                std::string& error) override;
  void Deactivate() override;
  bool Active() const override { return listenFd_ >= 0; }
  uint16_t LocalPort() const override;

  void Post(std::function<void()> task) override;
  void Run() override;
  void Quit() override { quit_ = true; }
  void SetPaused(bool paused) override { paused_ = paused; }

  // Called by connections.
  void FailConnection(EpollConnection& c, SocketErrorKind kind, int errnoValue);
  void CloseByPeer(EpollConnection& c);
  ConnectionHandler& Handler() { return *handler_; }

 private:
  void Watch(int fd, uint64_t id, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = id;
    epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev);
  }
  void SetListenerEvents(uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = kListenerId;
    epoll_ctl(epfd_, EPOLL_CTL_MOD, listenFd_, &ev);
  }
  template <typename F>
  void Invoke(F&& call);
  void Dispatch(const epoll_event& ev);
  void DispatchConnection(EpollConnection& c, uint32_t events);
  void AcceptOne();
  void SuspendAccept();
  void ResumeAccept();
  int WaitTimeoutMs() const;
  void RunTasks();
  void WaitForTasks();
  void Release(EpollConnection& c);
  void ReleaseClosed();

  std::function<void(const std::string&)> onUnhandledError_;
  int epfd_ = -1;
  int wakefd_ = -1;
  int listenFd_ = -1;
  ConnectionHandler* handler_ = nullptr;
  std::map<uint64_t, std::unique_ptr<EpollConnection>> connections_;
  std::vector<uint64_t> closed_;
  uint64_t nextId_ = kListenerId + 1;
  std::mutex tasksMutex_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
  bool paused_ = false;
  bool acceptSuspended_ = false;
  Clock::time_point acceptResumeAt_{};
};

std::string EpollConnection::ReceiveAvailable(size_t maxBytes) {
  if (!connected_) return {};
  int waiting = 0;
  if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0) return {};
  std::string bytes(std::min(static_cast<size_t>(waiting), maxBytes), '\0');
  ssize_t n = ::recv(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT);
  if (n < 0) {
    if (errno != EAGAIN && errno != EINTR) loop_.FailConnection(*this, SocketErrorKind::Receive, errno);
    return {};
  }
  bytes.resize(static_cast<size_t>(n));
  return bytes;
}

void EpollConnection::Send(std::string_view bytes) {
  if (!connected_) return;
  ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && errno != EAGAIN && errno != EINTR) {
    loop_.FailConnection(*this, SocketErrorKind::Send, errno);
  }
}

template <typename F>
void EpollLoop::Invoke(F&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    onUnhandledError_(e.what());
  } catch (...) {
    onUnhandledError_("Unknown exception in a socket event handler");
  }
}

bool EpollLoop::Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                         std::string& error) {
  if (Active()) return true;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "Can't create new socket";
    return false;
  }
  // Lets a restarted service bind while old connections linger in TIME_WAIT;
  // a port held by a live listener still fails with "address in use".
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  const char* failedCall = nullptr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EWOULDBLOCK) {
    failedCall = "bind";
  } else if (::listen(fd, backlog) != 0 && errno != EWOULDBLOCK) {
    failedCall = "listen";
  }
  if (failedCall != nullptr) {
    int e = errno;
    ::close(fd);
    error = SocketErrorText(e, failedCall);
    return false;
  }
  listenFd_ = fd;
  handler_ = &handler;
  Watch(listenFd_, kListenerId, EPOLLIN);
  return true;
}

void EpollLoop::Deactivate() {
  for (auto& [id, connection] : connections_) connection->CloseSocket();
  connections_.clear();
  closed_.clear();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
  acceptSuspended_ = false;
}

uint16_t EpollLoop::LocalPort() const {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 0;
  }
  return ntohs(addr.sin_port);
}

void EpollLoop::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    tasks_.push_back(std::move(task));
  }
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakefd_, &one, sizeof one);
}

void EpollLoop::RunTasks() {
  uint64_t count = 0;
  [[maybe_unused]] ssize_t n = ::read(wakefd_, &count, sizeof count);
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(tasksMutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    Invoke(task);
  }
}

void EpollLoop::WaitForTasks() {
  pollfd p{wakefd_, POLLIN, 0};
  while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

int EpollLoop::WaitTimeoutMs() const {
  if (!acceptSuspended_) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(acceptResumeAt_ - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void EpollLoop::Run() {
  quit_ = false;
  epoll_event events[64];
  while (!quit_) {
    if (paused_) {
      WaitForTasks();
      RunTasks();
      continue;
    }
    int n = epoll_wait(epfd_, events, 64, WaitTimeoutMs());
    if (acceptSuspended_ && Clock::now() >= acceptResumeAt_) ResumeAccept();
    for (int i = 0; i < n && !quit_ && !paused_; ++i) {
      Dispatch(events[i]);
      ReleaseClosed();
    }
  }
  RunTasks();
}

void EpollLoop::Dispatch(const epoll_event& ev) {
  if (ev.data.u64 == kWakeId) {
    RunTasks();
  } else if (ev.data.u64 == kListenerId) {
    if (listenFd_ >= 0) AcceptOne();
  } else {
    auto it = connections_.find(ev.data.u64);
    if (it != connections_.end() && it->second->Connected()) DispatchConnection(*it->second, ev.events);
  }
}

void EpollLoop::DispatchConnection(EpollConnection& c, uint32_t events) {
  int fd = c.Handle();
  if (events & EPOLLERR) {
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    // The notification carried an error: it is reported and then dropped; no
    // read or disconnect event follows from it.
    int code = ToWinsockError(err != 0 ? err : ECONNRESET);
    Invoke([&] { handler_->OnClientError(c, SocketErrorKind::Disconnect, code); });
    if (code != 0) onUnhandledError_(SocketErrorText(err != 0 ? err : ECONNRESET, "select"));
    Release(c);
    return;
  }
  int waiting = 0;
  if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
    Invoke([&] { handler_->OnClientRead(c); });
    return;  // a close that came with the data is seen on the next round
  }
  char probe;
  ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n == 0) {
    CloseByPeer(c);
  } else if (n > 0) {
    Invoke([&] { handler_->OnClientRead(c); });
  } else if (errno != EAGAIN && errno != EINTR) {
    int code = ToWinsockError(errno);
    Invoke([&] { handler_->OnClientError(c, SocketErrorKind::Disconnect, code); });
    Release(c);
  }
}

void EpollLoop::CloseByPeer(EpollConnection& c) {
  // The handler runs while the socket is still open, so it can name the peer.
  Invoke([&] { handler_->OnClientDisconnect(c); });
  Release(c);
}

void EpollLoop::FailConnection(EpollConnection& c, SocketErrorKind kind, int errnoValue) {
  int code = ToWinsockError(errnoValue);
  Invoke([&] { handler_->OnClientError(c, kind, code); });
  if (code != 0) onUnhandledError_(SocketErrorText(errnoValue, kind == SocketErrorKind::Send ? "send" : "recv"));
  CloseByPeer(c);
}

void EpollLoop::Release(EpollConnection& c) {
  c.CloseSocket();
  closed_.push_back(c.Id());
  if (acceptSuspended_) ResumeAccept();
}

void EpollLoop::ReleaseClosed() {
  for (uint64_t id : closed_) connections_.erase(id);
  closed_.clear();
}

void EpollLoop::AcceptOne() {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) SuspendAccept();
    return;
  }
  char peer[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &addr.sin_addr, peer, sizeof peer);
  uint64_t id = nextId_++;
  auto connection = std::make_unique<EpollConnection>(*this, id, fd, peer);
  EpollConnection& c = *connection;
  connections_.emplace(id, std::move(connection));
  Watch(fd, id, EPOLLIN | EPOLLRDHUP);
  Invoke([&] { handler_->OnClientConnect(c); });
}

void EpollLoop::SuspendAccept() {
  if (acceptSuspended_) return;
  acceptSuspended_ = true;
  acceptResumeAt_ = Clock::now() + kAcceptRetryDelay;
  SetListenerEvents(0);
}

void EpollLoop::ResumeAccept() {
  acceptSuspended_ = false;
  if (listenFd_ >= 0) SetListenerEvents(EPOLLIN);
}

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create(
    std::function<void(const std::string&)> onUnhandledError) {
  return std::make_unique<EpollLoop>(std::move(onUnhandledError));
}

}  // namespace duvane::platform
