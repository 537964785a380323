// The reader unplugged and plugged in again while pages keep asking for the
// card number: every request is answered, none hangs, the first request
// after the reader is back reads the card, and the stop is still clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "sim_reader.h"
#include "tests/soak/soak_support.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kPerPhase = 40;  // plugged, unplugged, plugged again
constexpr auto kCardWait = 10s;

class SoakReaderReplug : public SoakTest {
 protected:
  void SetUp() override {
    SoakTest::SetUp();
    if (IsSkipped()) return;
    pcscd_ = std::make_unique<simreader::SimPcscd>();
    ASSERT_TRUE(pcscd_->Running()) << pcscd_->Error();
    pcscd_->Reader().InsertCard(simreader::DemoCard());
    ASSERT_TRUE(pcscd_->Reader().WaitForCard(true, kCardWait));
  }

  simreader::SimReader& Reader() { return pcscd_->Reader(); }

  std::unique_ptr<simreader::SimPcscd> pcscd_;
};

struct Tally {
  int ok = 0, failed = 0, other = 0;
  long long slowestMs = 0;

  // Asks once; returns the result code ("" for no reply in time).
  std::string Ask(Client& client) {
    const auto start = std::chrono::steady_clock::now();
    auto reply = soak::Ask(client, "GETCARDNO?callback=cb", 10s);
    slowestMs = std::max(slowestMs, MsSince(start));
    const std::string code = reply ? ResultCode(*reply) : "";
    code == "0000" ? ++ok : code == "0201" ? ++failed : ++other;
    return code;
  }
};

TEST_F(SoakReaderReplug, EveryRequestIsAnsweredAndTheReaderComesBack) {
  // The service inherits the private pcscd's socket from this process.
  auto service = StartService({});
  ASSERT_TRUE(service);
  Client client(kPort);
  Tally tally;

  for (int i = 0; i < kPerPhase; ++i) EXPECT_EQ(tally.Ask(client), "0000") << i;
  Reader().Unplug();
  for (int i = 0; i < kPerPhase; ++i) EXPECT_EQ(tally.Ask(client), "0201") << i;

  const auto plugged = std::chrono::steady_clock::now();
  Reader().Plug();
  ASSERT_TRUE(Reader().WaitForCard(true, kCardWait));
  // Recovery within one request: the first one after the replug succeeds.
  EXPECT_EQ(tally.Ask(client), "0000");
  const long long recoveryMs = MsSince(plugged);
  for (int i = 1; i < kPerPhase; ++i) EXPECT_EQ(tally.Ask(client), "0000") << i;

  EXPECT_EQ(tally.other, 0);
  EXPECT_TRUE(service->Stop());
  Report("reader-replug", {{"requests", std::to_string(tally.ok + tally.failed + tally.other)},
                           {"ok_0000", std::to_string(tally.ok)},
                           {"failed_0201", std::to_string(tally.failed)},
                           {"unanswered_or_other", std::to_string(tally.other)},
                           {"slowest_ms", std::to_string(tally.slowestMs)},
                           {"recovery_ms", std::to_string(recoveryMs)}});
}

}  // namespace
