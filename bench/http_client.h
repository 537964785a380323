// A minimal blocking HTTP/1.1 keep-alive client for loopback benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace bench {

class HttpClient {
 public:
  HttpClient() = default;
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Connects to 127.0.0.1:port; false when nothing listens.
  bool Connect(uint16_t port);
  // Sends "GET <path> HTTP/1.1" and reads one whole reply (header block and
  // Content-Length body); nothing on failure or after `timeout`.
  std::optional<std::string> Get(const std::string& path,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void Close();

 private:
  bool ReadMore(std::chrono::steady_clock::time_point deadline);
  int fd_ = -1;
  std::string pending_;
};

// The "ResultCode" of a reply body, or "" when there is none.
std::string ResultCodeOf(const std::string& reply);

}  // namespace bench
