#include "platform/linux/work_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace duvane::platform {
namespace {

using isolation::Deadline;
using isolation::Transfer;

// Milliseconds until `deadline` for poll: -1 for no deadline, 0 once passed.
int PollTimeout(Deadline deadline) {
  if (deadline == Deadline::max()) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 60'000 ? 60'000 : static_cast<int>(left.count());
}

}  // namespace

bool WorkChannel::Send(const void* data, std::size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(fd_, next, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    next += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

Transfer WorkChannel::Receive(void* data, std::size_t size, Deadline deadline) {
  char* next = static_cast<char*>(data);
  while (size > 0) {
    pollfd ready{fd_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, PollTimeout(deadline));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return Transfer::kFailed;
    if (polled == 0) {
      if (std::chrono::steady_clock::now() < deadline) continue;
      return Transfer::kTimedOut;
    }
    const ssize_t got = ::read(fd_, next, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) return errno == ECONNRESET ? Transfer::kClosed : Transfer::kFailed;
    if (got == 0) return Transfer::kClosed;
    next += got;
    size -= static_cast<std::size_t>(got);
  }
  return Transfer::kDone;
}

}  // namespace duvane::platform
