// A thousand connections open at once, all served, while more arrive.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/soak/soak_service.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kConnections = 1000;
constexpr int kRounds = 2;

class SoakConnections : public SoakTest {
 protected:
  void SetUp() override {
    SoakTest::SetUp();
    if (IsSkipped()) return;
    // The clients' descriptors and the service's (it inherits the limit).
    if (!RaiseOwnDescriptorLimit(kConnections + 256)) GTEST_SKIP() << "descriptor limit too low";
  }
};

TEST_F(SoakConnections, AThousandOpenConnectionsAreAllServed) {
  auto service = StartService();
  ASSERT_TRUE(service);
  const auto start = std::chrono::steady_clock::now();

  // One steady client is served while the crowd connects.
  Client steady(kPort);
  int failures = 0;
  int served = 0;
  std::vector<std::unique_ptr<Client>> crowd;
  for (int i = 0; i < kConnections; i += 100) {
    ASSERT_TRUE(OpenAccepted(service->Pid(), 100, crowd)) << "after " << crowd.size();
    auto reply = Ask(steady, "FOO?x");
    reply&& ResultCode(*reply) == "0001" ? ++served : ++failures;
  }

  // Every connection asks at once; the replies are collected afterwards.
  for (int round = 0; round < kRounds; ++round) {
    for (auto& client : crowd) client->Send(Request("FOO?round=" + std::to_string(round)));
    for (auto& client : crowd) {
      auto reply = client->ReadReply(10s);
      reply&& ResultCode(*reply) == "0001" ? ++served : ++failures;
    }
  }
  const long long ms = MsSince(start);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(served, kConnections * kRounds + kConnections / 100);
  Report("many-connections", {{"connections", std::to_string(kConnections + 1)},
                              {"requests", std::to_string(served + failures)},
                              {"served", std::to_string(served)},
                              {"failures", std::to_string(failures)},
                              {"ms", std::to_string(ms)}});

  // Everyone leaving is no trouble either: a newcomer is still served.
  crowd.clear();
  Client late(kPort);
  auto reply = Ask(late, "FOO?late");
  ASSERT_TRUE(reply);
  EXPECT_EQ(ResultCode(*reply), "0001");
}

}  // namespace
