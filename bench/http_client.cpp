#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace bench {
namespace {

// Length of the first complete reply in `data`, if there is one.
std::optional<size_t> CompleteReply(const std::string& data) {
  size_t end = data.find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  const std::string key = "Content-Length: ";
  size_t at = data.find(key);
  if (at == std::string::npos || at > end) return std::nullopt;
  size_t length = std::strtoul(data.c_str() + at + key.size(), nullptr, 10);
  if (data.size() < end + 4 + length) return std::nullopt;
  return end + 4 + length;
}

}  // namespace

HttpClient::~HttpClient() { Close(); }

bool HttpClient::Connect(uint16_t port) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    Close();
    return false;
  }
  return true;
}

void HttpClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  pending_.clear();
}

bool HttpClient::ReadMore(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd p{fd_, POLLIN, 0};
  if (left.count() < 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
  char buffer[16384];
  ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(n));
  return true;
}

std::optional<std::string> HttpClient::Get(const std::string& path,
                                           std::chrono::milliseconds timeout) {
  if (fd_ < 0) return std::nullopt;
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto length = CompleteReply(pending_)) {
      std::string reply = pending_.substr(0, *length);
      pending_.erase(0, *length);
      return reply;
    }
    if (!ReadMore(deadline)) return std::nullopt;
  }
}

std::string ResultCodeOf(const std::string& reply) {
  const std::string key = "\"ResultCode\":\"";
  size_t at = reply.find(key);
  return at == std::string::npos ? "" : reply.substr(at + key.size(), 4);
}

}  // namespace bench
