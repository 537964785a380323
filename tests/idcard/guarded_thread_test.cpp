// The Windows build's guarded thread, run here under a stand-in guard: what
// each end of the work becomes, and what the next call finds. The real guard
// and a bound that passes are tested under Wine.
#include "isolation/guarded_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace duvane::isolation;

enum class Work : char { kReturns, kThrows, kThrowsOther };

void Run(const void* request, void* reply, StepMarks& steps) {
  steps.Mark(7);
  switch (*static_cast<const Work*>(request)) {
    case Work::kThrows:
      throw std::runtime_error("bad card");
    case Work::kThrowsOther:
      throw 5;
    case Work::kReturns:
      *static_cast<char*>(reply) = 'r';
  }
}

constexpr IsolatedCall kCalls[] = {{sizeof(Work), 1, Run}};
const IsolatedWork kWork{[](const std::string&, std::string&) { return true; }, kCalls};

// What the stand-in guard reports once the work has run; none when empty.
Fault gFault;

bool StandInGuard(void (*work)(void*), void* context, Fault& fault) {
  work(context);
  if (gFault.detail.empty()) return true;
  fault = gFault;
  return false;
}

TEST(GuardedThreadTest, EachEndOfTheWorkIsTheCallsEndAndOnlyRetirementRefusesTheNext) {
  const Fault none, fault{"exception 0xC0000005"}, retiring{"exception 0xC00000FD", true};
  const struct {
    Work work;
    Fault guard;
    CallEnd end;
    std::string detail;
    CallEnd next;
  } cases[] = {
      {Work::kReturns, none, CallEnd::kReturned, "", CallEnd::kReturned},
      {Work::kThrows, none, CallEnd::kRaised, "raised an exception: bad card", CallEnd::kReturned},
      {Work::kThrowsOther, none, CallEnd::kRaised, "raised an exception of unknown kind",
       CallEnd::kReturned},
      {Work::kReturns, fault, CallEnd::kCrashed, fault.detail, CallEnd::kReturned},
      {Work::kReturns, retiring, CallEnd::kCrashed, retiring.detail, CallEnd::kRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    // The bound never passes: every call here returns at once.
    const auto isolation =
        CreateGuardedThread(kWork, {"", "", std::chrono::hours(1), {}}, StandInGuard);
    gFault = c.guard;
    char reply = '-';
    const CallOutcome outcome = isolation->Call(0, &c.work, &reply);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.step, 7);
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(reply, c.end == CallEnd::kReturned ? 'r' : '-');

    gFault = none;
    const Work returns = Work::kReturns;
    const CallOutcome next = isolation->Call(0, &returns, &reply);
    EXPECT_EQ(next.end, c.next);
    if (c.next == CallEnd::kRefused) {
      EXPECT_EQ(next.step, -1);
      EXPECT_EQ(next.detail, "out of use since a stack overflow");
    }
  }
}

}  // namespace
