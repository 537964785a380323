// The connection between the service and the process that runs its isolated
// work (a stream socket pair). The service sends a call as its index (one
// byte) and its request. The process answers with tagged messages: kStep and a
// step byte before each step, then kReply and the reply, or kRaised and a
// text. Once, before any call, it says kReady, or kNotReady and a text.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace duvane::platform {

// Where the serving program finds its end of the connection.
inline constexpr int kWorkChannelFd = 3;
// Texts travel in fields of this size, zero-padded and cut when longer.
inline constexpr std::size_t kWorkTextSize = 256;

enum class WorkTag : unsigned char {
  kReady = 'Y',
  kNotReady = 'F',
  kStep = 'S',
  kReply = 'R',
  kRaised = 'E',
};

enum class Transfer { kDone, kClosed, kTimedOut, kFailed };

using WorkDeadline = std::chrono::steady_clock::time_point;

// Sends all `size` bytes; false when the other end is gone (no SIGPIPE).
bool SendAll(int fd, const void* data, std::size_t size);
bool SendText(int fd, WorkTag tag, std::string_view text);

// Receives exactly `size` bytes before `deadline` (or ever: max()).
Transfer ReceiveAll(int fd, void* data, std::size_t size, WorkDeadline deadline);
// A text field as sent by SendText, up to its first zero byte.
Transfer ReceiveText(int fd, std::string& text, WorkDeadline deadline);

}  // namespace duvane::platform
