// The service's side of the calls served by a program of their own.
#include <algorithm>
#include <vector>

#include "isolation/served_calls.h"

namespace duvane::isolation {
namespace {

class ServedIsolation final : public Isolation {
 public:
  ServedIsolation(const IsolatedWork& work, IsolationSettings settings,
                  std::unique_ptr<ServingProgram> program)
      : work_(work),
        settings_(std::move(settings)),
        program_(std::move(program)),
        reply_(work.Largest(&IsolatedCall::replySize)) {}

  bool Start(std::string& error) override {
    return program_->Running() ||
           (program_->Launch(settings_.program, settings_.argument, error) && AwaitReady(error));
  }
  CallOutcome Call(std::size_t index, const void* request, void* reply) override;

 private:
  bool AwaitReady(std::string& error);
  bool Send(std::size_t index, const void* request);
  CallOutcome Await(const IsolatedCall& call, void* reply);
  CallOutcome Ended(Transfer transfer, CallOutcome outcome);

  IsolatedWork work_;
  IsolationSettings settings_;
  std::unique_ptr<ServingProgram> program_;
  std::vector<char> reply_;
};

bool ServedIsolation::AwaitReady(std::string& error) {
  ByteStream& stream = program_->Stream();
  const Deadline deadline = std::chrono::steady_clock::now() + settings_.startBound;
  unsigned char tag = 0;
  const Transfer transfer = stream.Receive(&tag, 1, deadline);
  if (transfer == Transfer::kDone && tag == static_cast<unsigned char>(WorkTag::kReady)) {
    return true;
  }
  std::string reason;
  if (transfer == Transfer::kDone && tag == static_cast<unsigned char>(WorkTag::kNotReady) &&
      ReceiveText(stream, reason, deadline) == Transfer::kDone) {
    error = reason;
  } else if (transfer == Transfer::kTimedOut) {
    error = settings_.program + " was not ready within " + Milliseconds(settings_.startBound);
  } else {
    error = settings_.program + " ended before it was ready";
  }
  const std::string end = program_->End();
  if (reason.empty() && transfer != Transfer::kTimedOut) error += ": " + end;
  return false;
}

bool ServedIsolation::Send(std::size_t index, const void* request) {
  const unsigned char header = static_cast<unsigned char>(index);
  ByteStream& stream = program_->Stream();
  return stream.Send(&header, 1) && stream.Send(request, work_.calls[index].requestSize);
}

CallOutcome ServedIsolation::Call(std::size_t index, const void* request, void* reply) {
  // A program that ended between two calls (killed from outside) is
  // replaced once.
  for (int attempt = 0;; ++attempt) {
    std::string error;
    if (!Start(error)) return {CallEnd::kUnavailable, -1, error};
    if (Send(index, request)) break;
    program_->End();
    if (attempt == 1) return {CallEnd::kUnavailable, -1, "cannot reach " + settings_.program};
  }
  return Await(work_.calls[index], reply);
}

CallOutcome ServedIsolation::Await(const IsolatedCall& call, void* reply) {
  ByteStream& stream = program_->Stream();
  const Deadline deadline = std::chrono::steady_clock::now() + settings_.callBound;
  CallOutcome outcome;
  for (;;) {
    unsigned char tag = 0;
    Transfer transfer = stream.Receive(&tag, 1, deadline);
    if (transfer != Transfer::kDone) return Ended(transfer, outcome);
    switch (static_cast<WorkTag>(tag)) {
      case WorkTag::kStep: {
        unsigned char step = 0;
        transfer = stream.Receive(&step, 1, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        outcome.step = step;
        break;
      }
      case WorkTag::kReply:
        transfer = stream.Receive(reply_.data(), call.replySize, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        std::copy_n(reply_.data(), call.replySize, static_cast<char*>(reply));
        return outcome;
      case WorkTag::kRaised:
        transfer = ReceiveText(stream, outcome.detail, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        outcome.end = CallEnd::kRaised;
        outcome.detail = "raised an exception: " + outcome.detail;
        return outcome;
      default:
        // Whatever sent that is not the serving program as we know it.
        return Ended(Transfer::kFailed, outcome);
    }
  }
}

CallOutcome ServedIsolation::Ended(Transfer transfer, CallOutcome outcome) {
  const std::string end = program_->End();
  if (transfer == Transfer::kTimedOut) {
    outcome.end = CallEnd::kTimedOut;
    outcome.detail =
        "did not return within " + Milliseconds(settings_.callBound) + "; its process was killed";
  } else {
    outcome.end = CallEnd::kCrashed;
    outcome.detail = end;
  }
  return outcome;
}

}  // namespace

std::unique_ptr<Isolation> CreateServedIsolation(const IsolatedWork& work,
                                                 IsolationSettings settings,
                                                 std::unique_ptr<ServingProgram> program) {
  return std::make_unique<ServedIsolation>(work, std::move(settings), std::move(program));
}

}  // namespace duvane::isolation
