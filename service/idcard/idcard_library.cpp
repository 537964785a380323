#include "service/idcard/idcard_library.h"

#include <algorithm>

#include "platform/isolated_work.h"
#include "platform/service_manager.h"
#include "service/idcard/zet_calls.h"
#include "service/request_handler.h"
#include "service/service_identity.h"

namespace duvane {
namespace {

// One line for the system log and for the daily log's failure line.
std::string Describe(const isolation::CallOutcome& outcome) {
  if (outcome.step < 0) return "identity-card library: " + outcome.detail;
  return "identity-card library, " + std::string(ZetStepName(outcome.step)) + ": " + outcome.detail;
}

void Record(const std::string& text) { platform::WriteSystemLogError(kServiceName, text); }

}  // namespace

IdCardLibrary::IdCardLibrary(const IdCardSettings& settings)
    : isolation_(platform::CreateIsolation(
          IdCardWork(), {settings.helperProgram, settings.libraryFile, settings.callBound,
                         std::max(settings.callBound, kIdCardCallBound)})) {}

bool IdCardLibrary::Start(std::string& error) { return isolation_->Start(error); }

std::optional<int32_t> IdCardLibrary::FindReader() {
  FindReaderReply reply;
  const isolation::CallOutcome outcome = isolation_->Call(kFindReaderCall, nullptr, &reply);
  switch (outcome.end) {
    case isolation::CallEnd::kReturned:
      return reply.port;
    case isolation::CallEnd::kRefused:
      return std::nullopt;
    default: {
      const std::string text = Describe(outcome);
      Record(text);
      throw ServiceError(text);
    }
  }
}

bool IdCardLibrary::ReadCard(int32_t port, CardReading& reading) {
  const ReadCardRequest request{port};
  const isolation::CallOutcome outcome = isolation_->Call(kReadCardCall, &request, &reading);
  if (outcome.end == isolation::CallEnd::kReturned) return true;
  if (outcome.end != isolation::CallEnd::kRefused) Record(Describe(outcome));
  return false;
}

}  // namespace duvane
