// The calls over a byte stream, between the service and a program that
// serves them. The service sends a call as its index (one byte) and its
// request. The program answers with tagged messages: kStep and a step byte
// before each step, then kReply and the reply, or kRaised and a text. Once,
// before any call, it says kReady, or kNotReady and a text.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace duvane::isolation {

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

using Deadline = std::chrono::steady_clock::time_point;

// One end of the connection, as the system provides it.
class ByteStream {
 public:
  // Sends all `size` bytes; false when the other end is gone.
  virtual bool Send(const void* data, std::size_t size) = 0;
  // Receives exactly `size` bytes before `deadline` (or ever: max()).
  virtual Transfer Receive(void* data, std::size_t size, Deadline deadline) = 0;

 protected:
  ~ByteStream() = default;
};

bool SendTag(ByteStream& stream, WorkTag tag);
bool SendText(ByteStream& stream, WorkTag tag, std::string_view text);
// A text field as sent by SendText, up to its first zero byte.
Transfer ReceiveText(ByteStream& stream, std::string& text, Deadline deadline);

}  // namespace duvane::isolation
