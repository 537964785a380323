#include "tests/support/notify_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace testsupport {

NotifySocket::NotifySocket() {
  static std::atomic<int> counter{0};
  path_ = "/tmp/duvane-notify-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  unlink(path_.c_str());
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path_.c_str());
  bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

NotifySocket::~NotifySocket() {
  close(fd_);
  unlink(path_.c_str());
}

bool NotifySocket::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[4096];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n > 0 && std::string(buf, static_cast<size_t>(n)).find(text) != std::string::npos) {
      return true;
    }
  }
}

}  // namespace testsupport
