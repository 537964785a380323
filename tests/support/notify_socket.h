// Test support: stands in for systemd's notification socket, so tests see the
// service's status reports (and know when its start sequence is done).
#pragma once

#include <chrono>
#include <string>

namespace testsupport {

class NotifySocket {
 public:
  NotifySocket();
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  // The value for NOTIFY_SOCKET.
  const std::string& Path() const { return path_; }
  // Waits for a report that contains `text`; earlier reports are consumed.
  bool WaitFor(const std::string& text,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace testsupport
