// Clients that send half a request and then stay do not hold anyone up.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/soak/soak_support.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kHalfClients = 50;
constexpr int kRequests = 500;

using SoakHalfRequest = SoakTest;

TEST_F(SoakHalfRequest, OthersAreServedWhileHalfRequestsWait) {
  auto service = StartService();
  ASSERT_TRUE(service);

  std::vector<std::unique_ptr<Client>> stalled;
  ASSERT_TRUE(OpenAccepted(service->Pid(), kHalfClients, stalled));
  // The request lines stop before their protocol: one read event, no reply.
  for (auto& client : stalled) client->Send("GET /GETCARDNO?callback=cb");

  const auto start = std::chrono::steady_clock::now();
  Client other(kPort);
  int served = 0, failures = 0;
  for (int i = 0; i < kRequests; ++i) {
    auto reply = Ask(other, "FOO?n=" + std::to_string(i));
    reply&& ResultCode(*reply) == "0001" ? ++served : ++failures;
  }
  const long long ms = MsSince(start);
  EXPECT_EQ(served, kRequests);

  // The stalled ones got nothing, are still open, and the rest of their
  // request (a second read event without "GET /") gets nothing either.
  int answeredHalf = 0, closedHalf = 0;
  for (auto& client : stalled) {
    client->Send(" HTTP/1.1\r\n\r\n");
  }
  for (auto& client : stalled) {
    if (!client->ReadFor(20ms).empty()) ++answeredHalf;
    if (client->PeerClosed(0ms)) ++closedHalf;
  }
  EXPECT_EQ(answeredHalf, 0);
  EXPECT_EQ(closedHalf, 0);

  // A whole request on a stalled connection is still served.
  auto reply = Ask(*stalled.front(), "FOO?again");
  ASSERT_TRUE(reply);
  EXPECT_EQ(ResultCode(*reply), "0001");
  Report("half-request", {{"stalled", std::to_string(kHalfClients)},
                          {"requests", std::to_string(kRequests)},
                          {"served", std::to_string(served)},
                          {"failures", std::to_string(failures)},
                          {"ms", std::to_string(ms)}});
}

}  // namespace
