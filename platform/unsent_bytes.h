// The part of a connection's replies that its socket could not take at once,
// kept in order until it can. Makes no system calls, so every event loop
// keeps its connections' unsent bytes the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace duvane::platform {

// The most a connection may keep unsent. A client that never reads would
// otherwise grow the service's memory without end.
inline constexpr size_t kMaxUnsentBytes = 1024 * 1024;

class UnsentBytes {
 public:
  explicit UnsentBytes(size_t limit = kMaxUnsentBytes) : limit_(limit) {}

  bool Empty() const { return Size() == 0; }
  size_t Size() const { return bytes_.size() - sent_; }

  // Keeps `bytes` behind those already waiting. Returns false, keeping none
  // of them, when that would pass the limit.
  bool Append(std::string_view bytes);

  // What to send next: everything waiting, oldest first.
  std::string_view Next() const { return std::string_view(bytes_).substr(sent_); }

  // Forgets the first `count` bytes of Next(), which the socket took.
  void Consume(size_t count);

 private:
  std::string bytes_;
  size_t sent_ = 0;
  size_t limit_;
};

}  // namespace duvane::platform
