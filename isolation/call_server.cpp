// The serving program's side of the calls.
#include <algorithm>
#include <exception>
#include <vector>

#include "isolation/served_calls.h"

namespace duvane::isolation {
namespace {

class StreamMarks final : public StepMarks {
 public:
  explicit StreamMarks(ByteStream& stream) : stream_(stream) {}
  // A lost mark is not worth a failure here: the service learns of a lost
  // connection from the reply, which cannot be sent either.
  void Mark(uint8_t step) override {
    const unsigned char message[2] = {static_cast<unsigned char>(WorkTag::kStep), step};
    stream_.Send(message, sizeof message);
  }

 private:
  ByteStream& stream_;
};

// Runs one call and sends its end; false when the service is gone.
bool Serve(ByteStream& stream, const IsolatedCall& call, const void* request,
           std::vector<char>& reply) {
  std::fill(reply.begin(), reply.end(), 0);
  StreamMarks marks(stream);
  try {
    call.run(request, reply.data(), marks);
  } catch (const std::exception& e) {
    return SendText(stream, WorkTag::kRaised, e.what());
  } catch (...) {
    return SendText(stream, WorkTag::kRaised, "an exception of unknown kind");
  }
  return SendTag(stream, WorkTag::kReply) && stream.Send(reply.data(), call.replySize);
}

}  // namespace

int ServeCalls(const IsolatedWork& work, const std::string& argument, ByteStream& stream) {
  std::string error;
  if (!work.prepare(argument, error)) {
    SendText(stream, WorkTag::kNotReady, error);
    return 1;
  }
  if (!SendTag(stream, WorkTag::kReady)) return 1;

  std::vector<char> request(work.Largest(&IsolatedCall::requestSize));
  std::vector<char> reply(work.Largest(&IsolatedCall::replySize));
  for (;;) {
    unsigned char index = 0;
    const Transfer next = stream.Receive(&index, 1, Deadline::max());
    if (next == Transfer::kClosed) return 0;
    if (next != Transfer::kDone || index >= work.calls.size()) return 1;
    const IsolatedCall& call = work.calls[index];
    if (stream.Receive(request.data(), call.requestSize, Deadline::max()) != Transfer::kDone) {
      return 1;
    }
    if (!Serve(stream, call, request.data(), reply)) return 1;
  }
}

}  // namespace duvane::isolation
