// The service thread's event loop: one listening socket, its connections and
// the control requests posted from other threads, delivered one at a time in
// arrival order on the thread that calls Run. One implementation, on Asio,
// serves every operating system, so the log reads the same on each.
//
// Accepting.
//  - After a failed accept (out of descriptors, say) the listener rests for
//    a moment, or until a connection is released, and the waiting
//    connections stay in the backlog. The failure is reported once, until an
//    accept succeeds again.
//
// Reading.
//  - A read event carries the bytes that had arrived when it was raised, at
//    most kMaxReadBytes; the rest raises the next read event, behind the
//    events of other connections.
//  - While a reply is still going out, the connection is not read: the
//    client's further requests wait in the system's buffers. So a client
//    that never reads holds at most one reply in the service, and the others
//    are served meanwhile.
//
// Closing.
//  - A clean close by the peer is raised as the disconnect event once the
//    bytes before it were delivered as read events and the replies to them
//    went out (a peer that closed only its sending side still gets them). An
//    error that follows a clean close (the peer's system answering a reply
//    with a reset) changes nothing: still the disconnect event, and no error
//    event.
//  - A receive that fails without a clean close before it (a reset) raises
//    the error event and closes the connection with no disconnect event.
//  - A send that fails raises the error event with kind Send, then closes the
//    connection with the disconnect event.
//  - The disconnect event is raised while the socket is still open, so the
//    handler can read the peer address; the connection object outlives the
//    event in which it is closed.
//
// Sending.
//  - Send hands the bytes to the socket in one send. What the socket does
//    not take at once is kept and sent as it takes more, in order and before
//    any later Send on the connection.
//  - A handler that sends so much in one event that the kept bytes would
//    pass kMaxUnsentBytes has its connection closed as a failed send: the
//    error event with kind Send and code 10055 (WSAENOBUFS), then the
//    disconnect event.
//  - Kept bytes are dropped when the connection is closed (by the peer,
//    after an error, or by Deactivate).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace duvane {

// The most one read event carries, so that no read is unbounded.
inline constexpr size_t kMaxReadBytes = 64 * 1024;
// The most a connection keeps unsent.
inline constexpr size_t kMaxUnsentBytes = 1024 * 1024;

enum class SocketErrorKind { General, Send, Receive };

// One accepted connection. Valid only inside the handler call that received
// it; the loop releases it after it is closed.
class Connection {
 public:
  virtual ~Connection() = default;
  // The socket number of the connection (the file descriptor).
  virtual int Handle() const = 0;
  virtual bool Connected() const = 0;
  // Dotted IPv4 text of the peer; "" when no longer connected.
  virtual std::string PeerAddress() const = 0;
  // Sends `bytes` whole, after any bytes still unsent on this connection
  // (see the contract above). A failed send raises the error event and
  // closes the connection (disconnect event).
  virtual void Send(std::string_view bytes) = 0;
};

// The service's handlers of connection events.
class ConnectionHandler {
 public:
  virtual ~ConnectionHandler() = default;
  virtual void OnClientConnect(Connection& connection) = 0;
  // `received` holds the bytes of the event; they are not kept after it.
  virtual void OnClientRead(Connection& connection, std::string_view received) = 0;
  virtual void OnClientDisconnect(Connection& connection) = 0;
  // `errorCode` is the Windows Sockets number; a handler that sets it to 0
  // has dealt with the error.
  virtual void OnClientError(Connection& connection, SocketErrorKind kind, int& errorCode) = 0;
};

class EventLoop {
 public:
  // `onUnhandledError` receives the message of an exception that escaped a
  // handler (and of errors nobody handles); the loop goes on.
  static std::unique_ptr<EventLoop> Create(
      std::function<void(const std::string&)> onUnhandledError);
  virtual ~EventLoop() = default;

  // Listens on 0.0.0.0:port (0 picks a free port). On failure returns false
  // with the error text in `error` and stays inactive.
  virtual bool Activate(uint16_t port, int backlog, ConnectionHandler& handler,
                        std::string& error) = 0;
  // Closes every connection without events, then the listening socket.
  virtual void Deactivate() = 0;
  virtual bool Active() const = 0;
  virtual uint16_t LocalPort() const = 0;

  // Thread-safe: runs `task` on the loop thread, after the tasks posted before.
  virtual void Post(std::function<void()> task) = 0;
  // Delivers events until Quit is called on the loop thread; tasks already
  // posted run before Run returns.
  virtual void Run() = 0;
  virtual void Quit() = 0;
  // Loop thread only. While paused no socket event is delivered (connections
  // wait in the backlog); posted tasks still run.
  virtual void SetPaused(bool paused) = 0;
  // Loop thread only. Runs `task` on the loop thread about every `period`
  // while Run runs, between events and while paused as well; a later call
  // replaces the task.
  virtual void CallEvery(std::chrono::milliseconds period, std::function<void()> task) = 0;
};

}  // namespace duvane
