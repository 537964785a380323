// A thousand connections open at once, all served, while more arrive; and
// hundreds that ask without ever reading cost the service one reply each.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

#include "tests/soak/soak_support.h"

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

// Clients that keep sending requests and never read a reply: the service
// holds one reply for each at most, their further requests wait in the
// kernel, and a steady client is answered all the while.
TEST_F(SoakConnections, ClientsThatNeverReadHoldOneReplyEach) {
  constexpr int kHogs = 300;
  constexpr int kAsked = 30;
  // The reply echoes the word: about 9 KiB each.
  const std::string word(9000, 'W');
  constexpr long kReplyKib = 9;
  auto service = StartService();
  ASSERT_TRUE(service);
  const pid_t pid = service->Pid();
  const long before = ResidentKib(pid);

  std::vector<std::unique_ptr<Client>> hogs;
  ASSERT_TRUE(OpenAccepted(pid, kHogs, hogs, 1));
  // A slow network: most of the first reply stays with the service.
  ASSERT_TRUE(ShrinkSendBuffers(pid, 1));
  Client steady(kPort);
  int served = 0;
  for (int round = 0; round < kAsked; ++round) {
    // What the kernel does not take now is dropped: the client must not block.
    for (auto& hog : hogs) {
      const std::string request = Request(word + "?" + std::to_string(round));
      [[maybe_unused]] ssize_t n =
          send(hog->Fd(), request.data(), request.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    auto reply = Ask(steady, "FOO?steady", 10s);
    if (reply && ResultCode(*reply) == "0001") ++served;
  }
  const long grown = PeakResidentKib(pid) - before;
  EXPECT_EQ(served, kAsked);
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer keeps freed memory a while
  EXPECT_LT(grown, kHogs * kReplyKib + 4096);
#endif
  Report("never-reading-clients", {{"clients", std::to_string(kHogs)},
                                   {"requests_sent", std::to_string(kHogs * kAsked)},
                                   {"steady_served", std::to_string(served)},
                                   {"peak_growth_kib", std::to_string(grown)},
                                   {"bound_kib", std::to_string(kHogs * kReplyKib + 4096)}});
}

}  // namespace
