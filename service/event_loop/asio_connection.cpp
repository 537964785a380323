// The connections' I/O: receiving, sending, and the order of the events
// that close a connection.
#include "service/event_loop/asio_loop.h"

namespace duvane::asio_loop {

void AsioConnection::Send(std::string_view bytes) {
  if (!connected_ || bytes.empty()) return;
  size_t sent = 0;
  if (!Writing()) {
    // The peer may have closed while the request was being handled; the
    // reset that answers this reply must not hide that clean close.
    if (!peerClosed_) peerClosed_ = platform::PeerClosedBeforeReply(Native());
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
  int code = platform::ToWinsockError(ec.value());
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

}  // namespace duvane::asio_loop
