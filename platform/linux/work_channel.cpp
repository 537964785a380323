#include "platform/linux/work_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace duvane::platform {
namespace {

// Milliseconds until `deadline` for poll: -1 for no deadline, 0 once passed.
int PollTimeout(WorkDeadline deadline) {
  if (deadline == WorkDeadline::max()) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > 60'000 ? 60'000 : static_cast<int>(left.count());
}

}  // namespace

bool SendAll(int fd, const void* data, std::size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(fd, next, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    next += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool SendText(int fd, WorkTag tag, std::string_view text) {
  std::array<char, 1 + kWorkTextSize> message{};
  message[0] = static_cast<char>(tag);
  // The last byte stays zero: the text always ends inside its field.
  std::memcpy(message.data() + 1, text.data(), std::min(text.size(), kWorkTextSize - 1));
  return SendAll(fd, message.data(), message.size());
}

Transfer ReceiveAll(int fd, void* data, std::size_t size, WorkDeadline deadline) {
  char* next = static_cast<char*>(data);
  while (size > 0) {
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, PollTimeout(deadline));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return Transfer::kFailed;
    if (polled == 0) {
      if (std::chrono::steady_clock::now() < deadline) continue;
      return Transfer::kTimedOut;
    }
    const ssize_t got = ::read(fd, next, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) return errno == ECONNRESET ? Transfer::kClosed : Transfer::kFailed;
    if (got == 0) return Transfer::kClosed;
    next += got;
    size -= static_cast<std::size_t>(got);
  }
  return Transfer::kDone;
}

Transfer ReceiveText(int fd, std::string& text, WorkDeadline deadline) {
  std::array<char, kWorkTextSize> field{};
  const Transfer transfer = ReceiveAll(fd, field.data(), field.size(), deadline);
  if (transfer == Transfer::kDone) text.assign(field.data(), strnlen(field.data(), field.size()));
  return transfer;
}

}  // namespace duvane::platform
