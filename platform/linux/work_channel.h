// The connection between the service and the program that serves its
// isolated work: one end of a stream socket pair.
#pragma once

#include "isolation/call_protocol.h"

namespace duvane::platform {

// Where the serving program finds its end of the connection.
inline constexpr int kWorkChannelFd = 3;

class WorkChannel final : public isolation::ByteStream {
 public:
  explicit WorkChannel(int fd) : fd_(fd) {}
  int fd() const { return fd_; }
  void Use(int fd) { fd_ = fd; }

  // No SIGPIPE when the other end is gone.
  bool Send(const void* data, std::size_t size) override;
  isolation::Transfer Receive(void* data, std::size_t size, isolation::Deadline deadline) override;

 private:
  int fd_;
};

}  // namespace duvane::platform
