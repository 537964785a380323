#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

#include "platform/isolated_work.h"
#include "platform/linux/work_channel.h"

namespace duvane::platform {
namespace {

class ChannelMarks final : public StepMarks {
 public:
  explicit ChannelMarks(int fd) : fd_(fd) {}
  // A lost mark is not worth a failure here: the service learns of a lost
  // connection from the reply, which cannot be sent either.
  void Mark(uint8_t step) override {
    const unsigned char message[2] = {static_cast<unsigned char>(WorkTag::kStep), step};
    SendAll(fd_, message, sizeof message);
  }

 private:
  int fd_;
};

// Runs one call and sends its end; false when the service is gone.
bool Serve(int fd, const IsolatedCall& call, const void* request, std::vector<char>& reply) {
  std::fill(reply.begin(), reply.end(), 0);
  ChannelMarks marks(fd);
  try {
    call.run(request, reply.data(), marks);
  } catch (const std::exception& e) {
    return SendText(fd, WorkTag::kRaised, e.what());
  } catch (...) {
    return SendText(fd, WorkTag::kRaised, "an exception of unknown kind");
  }
  const unsigned char tag = static_cast<unsigned char>(WorkTag::kReply);
  return SendAll(fd, &tag, 1) && SendAll(fd, reply.data(), call.replySize);
}

}  // namespace

int ServeIsolatedWork(const IsolatedWork& work, int argc, char** argv) {
  const int fd = kWorkChannelFd;
  // Nothing that the library starts keeps the connection open.
  if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
    std::fprintf(stderr, "%s: runs only as the service's helper\n", argc > 0 ? argv[0] : "helper");
    return 2;
  }
  // A service that is killed takes a hung library call with it; without
  // that, the end of the connection still ends this process between calls.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) std::perror("prctl(PR_SET_PDEATHSIG)");
  std::string error;
  if (!work.prepare(argc > 1 ? argv[1] : "", error)) {
    SendText(fd, WorkTag::kNotReady, error);
    return 1;
  }
  const unsigned char ready = static_cast<unsigned char>(WorkTag::kReady);
  if (!SendAll(fd, &ready, 1)) return 1;

  std::vector<char> request(work.Largest(&IsolatedCall::requestSize));
  std::vector<char> reply(work.Largest(&IsolatedCall::replySize));
  for (;;) {
    unsigned char index = 0;
    const Transfer next = ReceiveAll(fd, &index, 1, WorkDeadline::max());
    if (next == Transfer::kClosed) return 0;
    if (next != Transfer::kDone || index >= work.calls.size()) return 1;
    const IsolatedCall& call = work.calls[index];
    if (ReceiveAll(fd, request.data(), call.requestSize, WorkDeadline::max()) != Transfer::kDone) {
      return 1;
    }
    if (!Serve(fd, call, request.data(), reply)) return 1;
  }
}

}  // namespace duvane::platform
