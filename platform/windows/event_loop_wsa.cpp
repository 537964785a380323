// The event loop on Windows Sockets with window-message notification: the
// sockets announce their events as messages to a hidden window, and the
// message loop of the thread that calls Run delivers them one at a time, in
// arrival order, together with the posted tasks.
//
// Closing a socket leaves the messages already posted for it in the queue,
// and the system may give its number to the next accepted socket. So every
// close first moves the queue into the loop's own backlog and drops that
// socket's messages from it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/event_loop.h"
#include "platform/handler_call.h"
#include "platform/socket_errors.h"
#include "platform/unsent_bytes.h"
#include "platform/windows/socket_close_probe.h"

namespace duvane::platform {
namespace {

constexpr UINT kListenerMessage = WM_APP + 1;
constexpr UINT kConnectionMessage = WM_APP + 2;
constexpr UINT kTaskMessage = WM_APP + 3;
constexpr UINT_PTR kAcceptRetryTimer = 1;
constexpr UINT_PTR kPeriodicTimer = 2;
// After accept fails for want of resources, the listener rests this long (or
// until a connection is released) instead of spinning on the backlog.
constexpr UINT kAcceptRetryDelayMs = 100;
constexpr long kConnectionEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
// Read events for the data that came before a close: the peer sends nothing
// more, and this many events take more than any socket buffers.
constexpr int kMaxReadsBeforeClose = 1024;

class WsaLoop;

class WsaConnection final : public Connection {
 public:
  WsaConnection(WsaLoop& loop, SOCKET socket, std::string peer)
      : loop_(loop), socket_(socket), peer_(std::move(peer)) {}

  int Handle() const override { return static_cast<int>(socket_); }
  bool Connected() const override { return connected_; }
  std::string PeerAddress() const override { return connected_ ? peer_ : std::string(); }
  std::string ReceiveAvailable(size_t maxBytes) override;
  void Send(std::string_view bytes) override;

  SOCKET Socket() const { return socket_; }
  // True once the peer's clean close has been seen.
  bool PeerClosed() const { return peerClosed_; }
  void NotePeerClosed() { peerClosed_ = true; }
  // Sends what an earlier send could not, when the socket can take more.
  void SendPending();
  void CloseSocket();

 private:
  void SendNow(std::string_view bytes);
  // One send: the count the socket took, or nullopt after a failure.
  std::optional<size_t> SendOnce(std::string_view bytes);

  WsaLoop& loop_;
  SOCKET socket_;
  std::string peer_;
  bool connected_ = true;
  bool peerClosed_ = false;
  UnsentBytes unsent_;
};

class WsaLoop final : public EventLoop {
 public:
  explicit WsaLoop(std::function<void(const std::string&)> onUnhandledError)
      : onUnhandledError_(std::move(onUnhandledError)) {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WsaLoop() override {
    Deactivate();
    if (window_ != nullptr) DestroyWindow(window_);
    if (started_) WSACleanup();
  }

  bool Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                std::string& error) override;
  void Deactivate() override;
  bool Active() const override { return listener_ != INVALID_SOCKET; }
  uint16_t LocalPort() const override;

  void Post(std::function<void()> task) override;
  void Run() override;
  void Quit() override { quit_ = true; }
  void SetPaused(bool paused) override { paused_ = paused; }
  void CallEvery(std::chrono::milliseconds period, std::function<void()> task) override;

  // Called by connections.
  void FailConnection(WsaConnection& c, SocketErrorKind kind, int code);
  void Release(WsaConnection& c);
  std::vector<char>& ReceiveBuffer() { return receiveBuffer_; }

 private:
  template <typename F>
  void Invoke(F&& call) {
    CallHandler(onUnhandledError_, std::forward<F>(call));
  }
  void CreateWindowOnThisThread();
  bool SelectAccept();
  bool NextMessage(MSG& message);
  void Handle(const MSG& message);
  void HandleConnectionEvent(SOCKET socket, int event, int error);
  void HandleClose(WsaConnection& c, int error);
  void HandleErrorNotification(WsaConnection& c, SocketErrorKind kind, int code);
  void CloseByPeer(WsaConnection& c);
  void AcceptOne();
  void SuspendAccept();
  void ResumeAccept();
  void RunTasks();
  void MoveQueueToBacklog();
  void DropMessages(UINT message, SOCKET socket, bool anySocket);

  std::function<void(const std::string&)> onUnhandledError_;
  bool started_ = false;
  HWND window_ = nullptr;
  DWORD windowThread_ = 0;
  SOCKET listener_ = INVALID_SOCKET;
  bool acceptSelected_ = false;
  bool acceptSuspended_ = false;
  ConnectionHandler* handler_ = nullptr;
  std::map<SOCKET, std::unique_ptr<WsaConnection>> connections_;
  // Connections closed during the current event; released after it.
  std::vector<std::unique_ptr<WsaConnection>> closed_;
  std::deque<MSG> backlog_;
  std::mutex tasksMutex_;
  std::deque<std::function<void()>> tasks_;
  std::vector<char> receiveBuffer_;
  bool quit_ = false;
  bool paused_ = false;
  std::function<void()> periodic_;
  UINT periodMs_ = 0;
};

std::string WsaConnection::ReceiveAvailable(size_t maxBytes) {
  if (!connected_ || maxBytes == 0) return {};
  std::vector<char>& buffer = loop_.ReceiveBuffer();
  buffer.resize(std::min<size_t>(maxBytes, 1u << 30));
  const int n = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
  if (n > 0) {
    // A close that came right behind the data is recorded now, before any
    // reply can make the peer's system answer with a reset.
    if (windows::PeerHasClosed(socket_)) peerClosed_ = true;
    return std::string(buffer.data(), static_cast<size_t>(n));
  }
  if (n == 0) {
    peerClosed_ = true;
    return {};
  }
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK && !peerClosed_) {
    loop_.FailConnection(*this, SocketErrorKind::Receive, error);
  }
  return {};
}

void WsaConnection::Send(std::string_view bytes) {
  if (!connected_ || bytes.empty()) return;
  if (!unsent_.Empty()) {
    // Behind the reply that is still waiting, never ahead of it.
    if (!unsent_.Append(bytes)) loop_.FailConnection(*this, SocketErrorKind::Send, WSAENOBUFS);
    return;
  }
  // The peer may have closed while the request was being handled; the reset
  // that answers this reply must not hide that clean close.
  if (!peerClosed_ && windows::PeerHasClosed(socket_)) peerClosed_ = true;
  SendNow(bytes);
}

void WsaConnection::SendPending() {
  while (connected_ && !unsent_.Empty()) {
    const std::optional<size_t> sent = SendOnce(unsent_.Next());
    if (!sent || *sent == 0) return;  // failed, or the next write notification goes on
    unsent_.Consume(*sent);
  }
}

void WsaConnection::SendNow(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::optional<size_t> sent = SendOnce(bytes);
    if (!sent) return;
    if (*sent == 0) break;
    bytes.remove_prefix(*sent);
  }
  // The rest goes out on the next write notification.
  if (!bytes.empty() && !unsent_.Append(bytes)) {
    loop_.FailConnection(*this, SocketErrorKind::Send, WSAENOBUFS);
  }
}

std::optional<size_t> WsaConnection::SendOnce(std::string_view bytes) {
  const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1u << 30));
  const int n = send(socket_, bytes.data(), chunk, 0);
  if (n >= 0) return static_cast<size_t>(n);
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return 0;
  // After a clean close the disconnect event follows; a failed send adds
  // nothing to it.
  if (!peerClosed_) loop_.FailConnection(*this, SocketErrorKind::Send, error);
  return std::nullopt;
}

void WsaConnection::CloseSocket() {
  if (!connected_) return;
  connected_ = false;
  closesocket(socket_);
  unsent_.Consume(unsent_.Size());
}

bool WsaLoop::Activate(uint16_t port, int backlog, ConnectionHandler& handler, std::string& error) {
  if (Active()) return true;
  SOCKET s = started_ ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
  if (s == INVALID_SOCKET) {
    error = "Can't create new socket";
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  listener_ = s;
  handler_ = &handler;
  const char* failedCall = nullptr;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    failedCall = "bind";
  } else if (!SelectAccept()) {
    failedCall = "WSAAsyncSelect";
  } else if (listen(s, backlog) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
    failedCall = "listen";
  }
  if (failedCall != nullptr) {
    const int code = WSAGetLastError();
    closesocket(s);
    listener_ = INVALID_SOCKET;
    error = SocketErrorText(code, failedCall);
    return false;
  }
  return true;
}

// The window belongs to the thread that runs the loop; until Run has made
// it, the listener waits to be selected and connections wait in the backlog.
bool WsaLoop::SelectAccept() {
  if (window_ == nullptr || listener_ == INVALID_SOCKET) return true;
  acceptSelected_ = WSAAsyncSelect(listener_, window_, kListenerMessage, FD_ACCEPT) == 0;
  return acceptSelected_;
}

void WsaLoop::Deactivate() {
  for (auto& [socket, connection] : connections_) {
    if (window_ != nullptr) WSAAsyncSelect(socket, window_, 0, 0);
    connection->CloseSocket();
  }
  connections_.clear();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  listener_ = INVALID_SOCKET;
  acceptSelected_ = false;
  if (acceptSuspended_ && window_ != nullptr) KillTimer(window_, kAcceptRetryTimer);
  acceptSuspended_ = false;
  DropMessages(kConnectionMessage, INVALID_SOCKET, true);
  DropMessages(kListenerMessage, INVALID_SOCKET, true);
}

uint16_t WsaLoop::LocalPort() const {
  sockaddr_in address{};
  int length = sizeof address;
  if (listener_ == INVALID_SOCKET ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void WsaLoop::Post(std::function<void()> task) {
  HWND window = nullptr;
  {
    std::lock_guard lock(tasksMutex_);
    tasks_.push_back(std::move(task));
    window = window_;
  }
  // Before Run has made the window, Run picks the task up when it starts.
  if (window != nullptr) PostMessageW(window, kTaskMessage, 0, 0);
}

void WsaLoop::RunTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(tasksMutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    Invoke(task);
  }
}

void WsaLoop::CreateWindowOnThisThread() {
  if (window_ != nullptr) return;
  static const wchar_t* const kClassName = L"DuvaneSocketEvents";
  static std::once_flag registered;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  std::call_once(registered, [instance] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
  });
  // A message-only window: never shown, receives only what is posted to it.
  HWND window =
      CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  std::lock_guard lock(tasksMutex_);
  window_ = window;
  windowThread_ = GetCurrentThreadId();
}

void WsaLoop::Run() {
  CreateWindowOnThisThread();
  if (window_ == nullptr) {
    onUnhandledError_("Windows socket error: the event window cannot be created");
    return;
  }
  if (!acceptSelected_) SelectAccept();
  if (periodic_) SetTimer(window_, kPeriodicTimer, periodMs_, nullptr);
  quit_ = false;
  RunTasks();
  MSG message{};
  while (!quit_ && NextMessage(message)) {
    Handle(message);
    closed_.clear();
  }
  RunTasks();
}

// The backlog first, then the thread's queue. While paused only tasks and
// the periodic timer are taken; socket messages keep their place, in the
// backlog, until the loop goes on.
bool WsaLoop::NextMessage(MSG& message) {
  const auto takenWhilePaused = [this](const MSG& m) {
    return m.message == kTaskMessage || (m.message == WM_TIMER && m.wParam == kPeriodicTimer);
  };
  for (auto it = backlog_.begin(); it != backlog_.end(); ++it) {
    if (paused_ && !takenWhilePaused(*it)) continue;
    message = *it;
    backlog_.erase(it);
    return true;
  }
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!paused_ || takenWhilePaused(message)) return true;
    backlog_.push_back(message);
  }
  return false;
}

void WsaLoop::CallEvery(std::chrono::milliseconds period, std::function<void()> task) {
  periodic_ = std::move(task);
  periodMs_ = static_cast<UINT>(std::max<long long>(period.count(), USER_TIMER_MINIMUM));
  // Before Run has made the window, Run sets the timer when it starts.
  if (window_ != nullptr) SetTimer(window_, kPeriodicTimer, periodMs_, nullptr);
}

void WsaLoop::Handle(const MSG& message) {
  if (message.hwnd != window_ || window_ == nullptr) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return;
  }
  const auto socket = static_cast<SOCKET>(message.wParam);
  switch (message.message) {
    case kTaskMessage:
      RunTasks();
      break;
    case kListenerMessage:
      if (socket != listener_) break;
      if (const int error = WSAGETSELECTERROR(message.lParam); error != 0) {
        // The listener has no error handler; it stays active.
        onUnhandledError_(SocketErrorText(error, "accept"));
      } else {
        AcceptOne();
      }
      break;
    case kConnectionMessage:
      HandleConnectionEvent(socket, WSAGETSELECTEVENT(message.lParam),
                            WSAGETSELECTERROR(message.lParam));
      break;
    case WM_TIMER:
      if (message.wParam == kAcceptRetryTimer) ResumeAccept();
      if (message.wParam == kPeriodicTimer && periodic_) Invoke(periodic_);
      break;
    default:
      DispatchMessageW(&message);
  }
}

void WsaLoop::HandleConnectionEvent(SOCKET socket, int event, int error) {
  auto found = connections_.find(socket);
  if (found == connections_.end() || !found->second->Connected()) return;
  WsaConnection& c = *found->second;
  switch (event) {
    case FD_READ:
      if (error != 0) return HandleErrorNotification(c, SocketErrorKind::Receive, error);
      Invoke([&] { handler_->OnClientRead(c); });
      // A clean close seen with the data follows the read event at once.
      if (c.Connected() && c.PeerClosed()) CloseByPeer(c);
      break;
    case FD_WRITE:
      if (error != 0) return HandleErrorNotification(c, SocketErrorKind::Send, error);
      c.SendPending();
      break;
    case FD_CONNECT:
      if (error != 0) HandleErrorNotification(c, SocketErrorKind::Connect, error);
      break;
    case FD_CLOSE:
      HandleClose(c, error);
      break;
    default:
      break;
  }
}

void WsaLoop::HandleClose(WsaConnection& c, int error) {
  if (error != 0 && !c.PeerClosed())
    return HandleErrorNotification(c, SocketErrorKind::Disconnect, error);
  // Data that came before the close is read first, one read event each; the
  // peer sends nothing more, so this ends.
  for (int reads = 0;
       reads < kMaxReadsBeforeClose && c.Connected() && windows::HasUnreadData(c.Socket());
       ++reads) {
    Invoke([&] { handler_->OnClientRead(c); });
  }
  if (!c.Connected()) return;
  // Some Windows Sockets implementations report a reset as a clean close.
  // A connection whose sending side the reset has shut is a reset one, unless
  // its clean close had been seen before.
  if (!c.PeerClosed() && windows::WasReset(c.Socket())) {
    return HandleErrorNotification(c, SocketErrorKind::Disconnect, WSAECONNRESET);
  }
  CloseByPeer(c);
}

// The notification is reported and then dropped: no read or disconnect event
// follows from it, and the connection is released. A clean close that was
// seen before wins over whatever error comes after it.
void WsaLoop::HandleErrorNotification(WsaConnection& c, SocketErrorKind kind, int code) {
  if (c.PeerClosed()) return CloseByPeer(c);
  Invoke([&] { handler_->OnClientError(c, kind, code); });
  if (code != 0) onUnhandledError_(SocketErrorText(code, "select"));
  Release(c);
}

void WsaLoop::CloseByPeer(WsaConnection& c) {
  // The handler runs while the socket is still open, so it can name the peer.
  Invoke([&] { handler_->OnClientDisconnect(c); });
  Release(c);
}

void WsaLoop::FailConnection(WsaConnection& c, SocketErrorKind kind, int code) {
  Invoke([&] { handler_->OnClientError(c, kind, code); });
  if (code != 0) {
    onUnhandledError_(SocketErrorText(code, kind == SocketErrorKind::Send ? "send" : "recv"));
  }
  CloseByPeer(c);
}

void WsaLoop::Release(WsaConnection& c) {
  if (!c.Connected()) return;
  const SOCKET socket = c.Socket();
  if (window_ != nullptr) WSAAsyncSelect(socket, window_, 0, 0);
  c.CloseSocket();
  DropMessages(kConnectionMessage, socket, false);
  auto found = connections_.find(socket);
  if (found != connections_.end()) {
    closed_.push_back(std::move(found->second));
    connections_.erase(found);
  }
  if (acceptSuspended_) ResumeAccept();
}

void WsaLoop::AcceptOne() {
  sockaddr_in address{};
  int length = sizeof address;
  SOCKET s = accept(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  if (s == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    if (error == WSAEMFILE || error == WSAENOBUFS) SuspendAccept();
    return;
  }
  if (connections_.count(s) != 0) return;  // never twice in the list
  char peer[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &address.sin_addr, peer, sizeof peer);
  auto connection = std::make_unique<WsaConnection>(*this, s, peer);
  WsaConnection& c = *connection;
  connections_.emplace(s, std::move(connection));
  WSAAsyncSelect(s, window_, kConnectionMessage, kConnectionEvents);
  Invoke([&] { handler_->OnClientConnect(c); });
}

void WsaLoop::SuspendAccept() {
  if (acceptSuspended_) return;
  acceptSuspended_ = true;
  WSAAsyncSelect(listener_, window_, 0, 0);
  SetTimer(window_, kAcceptRetryTimer, kAcceptRetryDelayMs, nullptr);
}

void WsaLoop::ResumeAccept() {
  KillTimer(window_, kAcceptRetryTimer);
  acceptSuspended_ = false;
  SelectAccept();
}

void WsaLoop::MoveQueueToBacklog() {
  // Only the window's own thread can take messages from its queue.
  if (window_ == nullptr || GetCurrentThreadId() != windowThread_) return;
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    backlog_.push_back(message);
  }
}

void WsaLoop::DropMessages(UINT message, SOCKET socket, bool anySocket) {
  MoveQueueToBacklog();
  backlog_.erase(std::remove_if(backlog_.begin(), backlog_.end(),
                                [&](const MSG& m) {
                                  return m.hwnd == window_ && m.message == message &&
                                         (anySocket || static_cast<SOCKET>(m.wParam) == socket);
                                }),
                 backlog_.end());
}

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create(
    std::function<void(const std::string&)> onUnhandledError) {
  return std::make_unique<WsaLoop>(std::move(onUnhandledError));
}

}  // namespace duvane::platform
