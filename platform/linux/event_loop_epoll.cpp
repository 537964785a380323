// The event loop on epoll, level-triggered. Connection events are delivered
// one at a time; a connection closed during an event is released only after
// that event, so handlers never see a dangling connection. The contract it
// keeps is in event_loop.h.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/event_loop.h"
#include "platform/handler_call.h"
#include "platform/socket_errors.h"
#include "platform/unsent_bytes.h"

namespace duvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kWakeId = 0;
constexpr uint64_t kListenerId = 1;
// After accept fails for want of descriptors, the listener rests this long
// (or until a connection is released) instead of spinning on the backlog.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);
constexpr uint32_t kReadEvents = EPOLLIN | EPOLLRDHUP;

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
  // The peer closed its side cleanly; once the bytes before its close are
  // read, the connection ends with the disconnect event.
  bool PeerClosed() const { return peerClosed_; }
  void NotePeerClosed() { peerClosed_ = true; }
  bool HasBytesWaiting() const;
  // Sends what the socket can take of the unsent bytes; false when that
  // failed and the connection was closed.
  bool SendUnsent();
  // One last try for the unsent bytes of a connection that is being closed;
  // a failure no longer matters.
  void SendUnsentBeforeClose();

 private:
  // One send of `bytes`: the count it took, or nullopt after a failure that
  // closed the connection.
  std::optional<size_t> SendOnce(std::string_view bytes);
  void KeepUnsent(std::string_view rest);

  EpollLoop& loop_;
  uint64_t id_;
  int fd_;
  bool connected_ = true;
  bool peerClosed_ = false;
  std::string peer_;
  UnsentBytes unsent_;
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
  void CallEvery(std::chrono::milliseconds period, std::function<void()> task) override {
    period_ = period;
    periodic_ = std::move(task);
    nextPeriodic_ = Clock::now() + period_;
  }

  // Called by connections.
  void FailConnection(EpollConnection& c, SocketErrorKind kind, int errnoValue);
  void CloseByPeer(EpollConnection& c);
  void WatchWritable(EpollConnection& c, bool writable);
  // A buffer for receives of at least `size` bytes, shared by every
  // connection (one event at a time).
  char* ReceiveBuffer(size_t size) {
    // Left unfilled: only the pages a receive writes become resident.
    if (receiveBufferSize_ < size) {
      receiveBuffer_.reset(new char[size]);
      receiveBufferSize_ = size;
    }
    return receiveBuffer_.get();
  }

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
  void Invoke(F&& call) {
    CallHandler(onUnhandledError_, std::forward<F>(call));
  }
  void Dispatch(const epoll_event& ev);
  void DispatchConnection(EpollConnection& c, uint32_t events);
  bool NoteCloseOrError(EpollConnection& c, uint32_t events);
  void DeliverReadAndClose(EpollConnection& c);
  void AcceptOne();
  void SuspendAccept();
  void ResumeAccept();
  int WaitTimeoutMs() const;
  void RunTasks();
  void WaitForTasks();
  void RunPeriodicWhenDue();
  void Release(EpollConnection& c);
  void ReleaseClosed();

  std::function<void(const std::string&)> onUnhandledError_;
  int epfd_ = -1;
  int wakefd_ = -1;
  int listenFd_ = -1;
  ConnectionHandler* handler_ = nullptr;
  std::map<uint64_t, std::unique_ptr<EpollConnection>> connections_;
  std::vector<uint64_t> closed_;
  std::unique_ptr<char[]> receiveBuffer_;
  size_t receiveBufferSize_ = 0;
  uint64_t nextId_ = kListenerId + 1;
  std::mutex tasksMutex_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
  bool paused_ = false;
  bool acceptSuspended_ = false;
  Clock::time_point acceptResumeAt_{};
  std::function<void()> periodic_;
  std::chrono::milliseconds period_{0};
  Clock::time_point nextPeriodic_{};
};

std::string EpollConnection::ReceiveAvailable(size_t maxBytes) {
  if (!connected_ || maxBytes == 0) return {};
  char* buffer = loop_.ReceiveBuffer(maxBytes);
  ssize_t n = ::recv(fd_, buffer, maxBytes, MSG_DONTWAIT);
  if (n == 0) {
    peerClosed_ = true;
    return {};
  }
  if (n < 0) {
    if (errno != EAGAIN && errno != EINTR)
      loop_.FailConnection(*this, SocketErrorKind::Receive, errno);
    return {};
  }
  return std::string(buffer, static_cast<size_t>(n));
}

bool EpollConnection::HasBytesWaiting() const {
  char probe;
  return connected_ && ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void EpollConnection::Send(std::string_view bytes) {
  if (!connected_) return;
  if (!unsent_.Empty()) {
    // Earlier replies go first; this one waits behind what is left of them.
    if (!SendUnsent()) return;
    if (!unsent_.Empty()) return KeepUnsent(bytes);
  }
  std::optional<size_t> sent = SendOnce(bytes);
  if (sent && *sent < bytes.size()) KeepUnsent(bytes.substr(*sent));
}

bool EpollConnection::SendUnsent() {
  while (!unsent_.Empty()) {
    std::optional<size_t> sent = SendOnce(unsent_.Next());
    if (!sent) return false;
    if (*sent == 0) return true;  // the socket is full: wait until it can take more
    unsent_.Consume(*sent);
  }
  loop_.WatchWritable(*this, false);
  return true;
}

void EpollConnection::SendUnsentBeforeClose() {
  if (!connected_ || unsent_.Empty()) return;
  [[maybe_unused]] ssize_t n =
      ::send(fd_, unsent_.Next().data(), unsent_.Next().size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::optional<size_t> EpollConnection::SendOnce(std::string_view bytes) {
  ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) return static_cast<size_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  // EPIPE: the peer's system reset the connection after the peer had closed
  // its side cleanly, so the close came first.
  if (peerClosed_ || errno == EPIPE) {
    peerClosed_ = true;
    loop_.CloseByPeer(*this);
  } else {
    loop_.FailConnection(*this, SocketErrorKind::Send, errno);
  }
  return std::nullopt;
}

void EpollConnection::KeepUnsent(std::string_view rest) {
  const bool wasEmpty = unsent_.Empty();
  if (!unsent_.Append(rest)) {
    // A client that does not read its replies: closed as a failed send.
    loop_.FailConnection(*this, SocketErrorKind::Send, ENOBUFS);
    return;
  }
  if (wasEmpty) loop_.WatchWritable(*this, true);
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
  while (::poll(&p, 1, WaitTimeoutMs()) < 0 && errno == EINTR) {
  }
}

int EpollLoop::WaitTimeoutMs() const {
  std::optional<Clock::time_point> until;
  if (acceptSuspended_) until = acceptResumeAt_;
  if (periodic_ && (!until || nextPeriodic_ < *until)) until = nextPeriodic_;
  if (!until) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*until - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
}

void EpollLoop::RunPeriodicWhenDue() {
  const Clock::time_point now = Clock::now();
  if (!periodic_ || now < nextPeriodic_) return;
  nextPeriodic_ = now + period_;
  Invoke(periodic_);
}

void EpollLoop::Run() {
  quit_ = false;
  epoll_event events[64];
  while (!quit_) {
    if (paused_) {
      WaitForTasks();
      RunTasks();
      RunPeriodicWhenDue();
      continue;
    }
    int n = epoll_wait(epfd_, events, 64, WaitTimeoutMs());
    if (acceptSuspended_ && Clock::now() >= acceptResumeAt_) ResumeAccept();
    for (int i = 0; i < n && !quit_ && !paused_; ++i) {
      Dispatch(events[i]);
      ReleaseClosed();
    }
    RunPeriodicWhenDue();
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
    if (it != connections_.end() && it->second->Connected())
      DispatchConnection(*it->second, ev.events);
  }
}

void EpollLoop::DispatchConnection(EpollConnection& c, uint32_t events) {
  if (!NoteCloseOrError(c, events)) return;
  if ((events & EPOLLOUT) && !c.SendUnsent()) return;
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) DeliverReadAndClose(c);
}

// Records a clean close by the peer, or reports an error that came without
// one. Returns false when the connection was closed for an error.
bool EpollLoop::NoteCloseOrError(EpollConnection& c, uint32_t events) {
  if (c.PeerClosed()) return true;  // an error after a clean close changes nothing
  if (!(events & EPOLLERR)) {
    if (events & EPOLLRDHUP) c.NotePeerClosed();
    return true;
  }
  int err = 0;
  socklen_t len = sizeof err;
  getsockopt(c.Handle(), SOL_SOCKET, SO_ERROR, &err, &len);
  // A reset that answers bytes sent after the peer's clean close reads as
  // EPIPE: the close came first.
  if (err == EPIPE) {
    c.NotePeerClosed();
    return true;
  }
  if (err == 0) return true;
  // The notification carried an error: it is reported and then dropped; no
  // read or disconnect event follows from it.
  int code = ToWinsockError(err);
  Invoke([&] { handler_->OnClientError(c, SocketErrorKind::Disconnect, code); });
  if (code != 0) onUnhandledError_(SocketErrorText(err, "select"));
  Release(c);
  return false;
}

void EpollLoop::DeliverReadAndClose(EpollConnection& c) {
  if (!c.PeerClosed() || c.HasBytesWaiting()) {
    Invoke([&] { handler_->OnClientRead(c); });
  }
  // The close is delivered once every byte before it has been read; bytes
  // the handler left wait for the next round.
  if (c.Connected() && c.PeerClosed() && !c.HasBytesWaiting()) CloseByPeer(c);
}

void EpollLoop::CloseByPeer(EpollConnection& c) {
  // A peer that closed only its sending side may still read.
  if (c.PeerClosed()) c.SendUnsentBeforeClose();
  // The handler runs while the socket is still open, so it can name the peer.
  Invoke([&] { handler_->OnClientDisconnect(c); });
  Release(c);
}

void EpollLoop::WatchWritable(EpollConnection& c, bool writable) {
  epoll_event ev{};
  ev.events = kReadEvents | (writable ? EPOLLOUT : 0u);
  ev.data.u64 = c.Id();
  epoll_ctl(epfd_, EPOLL_CTL_MOD, c.Handle(), &ev);
}

void EpollLoop::FailConnection(EpollConnection& c, SocketErrorKind kind, int errnoValue) {
  int code = ToWinsockError(errnoValue);
  Invoke([&] { handler_->OnClientError(c, kind, code); });
  if (code != 0)
    onUnhandledError_(SocketErrorText(errnoValue, kind == SocketErrorKind::Send ? "send" : "recv"));
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
  int fd =
      ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
  Watch(fd, id, kReadEvents);
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
