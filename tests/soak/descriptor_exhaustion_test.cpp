// Out of descriptors: the service keeps serving what it has, does not spin
// on the connections it cannot accept, and takes them once descriptors free.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "tests/service/gbk.h"
#include "tests/soak/soak_support.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kLimit = 48;
constexpr int kWaiting = 3;  // fits the listen backlog of 5
constexpr std::chrono::milliseconds kCpuWindow = 1s;

using SoakDescriptors = SoakTest;

TEST_F(SoakDescriptors, ExhaustionNeitherSpinsNorSticks) {
  auto service = StartService();
  ASSERT_TRUE(service);
  const pid_t pid = service->Pid();
  // One connection taken and closed before the limit: the sanitizers'
  // runtime checks a type the first time it meets it, through a pipe that it
  // could not open later.
  { Client first(kPort); }
  ASSERT_TRUE(service->LogHas(G("127.0.0.1断开连接")));
  ASSERT_TRUE(testsupport::Eventually([&] { return AcceptedConnections(pid) == 0; }));
  // A descriptor the service holds only for a moment (the log file, a status
  // report's socket) must not count as resting: take the least of a few looks.
  int resting = OpenDescriptors(pid, kLimit);
  for (int look = 0; look < 20; ++look) {
    std::this_thread::sleep_for(5ms);
    resting = std::min(resting, OpenDescriptors(pid, kLimit));
  }
  ASSERT_TRUE(SetDescriptorLimit(pid, static_cast<rlim_t>(kLimit)));

  // Fill every free descriptor, then leave a few more in the backlog.
  const int fitting = kLimit - resting;
  std::vector<std::unique_ptr<Client>> clients;
  ASSERT_TRUE(OpenAccepted(pid, fitting, clients));
  for (int i = 0; i < kWaiting; ++i) {
    clients.push_back(std::make_unique<Client>(kPort));
    ASSERT_TRUE(clients.back()->Connected());
  }
  ASSERT_EQ(OpenDescriptors(pid, kLimit), kLimit);

  // A measuring window, not a wait for an event: a service that polls the
  // pending connections in a loop burns the whole window.
  const auto cpuBefore = CpuTime(pid);
  std::this_thread::sleep_for(kCpuWindow);
  const auto cpuExhausted = CpuTime(pid) - cpuBefore;
  EXPECT_LT(cpuExhausted, kCpuWindow / 10);
  EXPECT_EQ(AcceptedConnections(pid), fitting);

  // Connections it has are still served (their log lines are lost).
  auto reply = Ask(*clients.front(), "FOO?exhausted");
  ASSERT_TRUE(reply);
  EXPECT_EQ(ResultCode(*reply), "0001");

  // Free ten descriptors: the waiting connections are taken and served.
  const auto freed = std::chrono::steady_clock::now();
  for (int i = 1; i <= 10; ++i) clients[static_cast<size_t>(i)].reset();
  int recovered = 0;
  for (size_t i = clients.size() - kWaiting; i < clients.size(); ++i) {
    auto late = Ask(*clients[i], "FOO?late", 10s);
    if (late && ResultCode(*late) == "0001") ++recovered;
  }
  const long long recoveryMs = MsSince(freed);
  EXPECT_EQ(recovered, kWaiting);
  // And the log is written again.
  Client fresh(kPort);
  ASSERT_TRUE(Ask(fresh, "FOO?logged"));
  EXPECT_TRUE(testsupport::Eventually(
      [] { return testsupport::ReadTodaysLog().find("strParam:logged") != std::string::npos; }));
  Report("descriptor-exhaustion",
         {{"limit", std::to_string(kLimit)},
          {"connections", std::to_string(clients.size())},
          {"cpu_ms_per_s_exhausted", std::to_string(cpuExhausted.count())},
          {"waiting_served", std::to_string(recovered) + "/" + std::to_string(kWaiting)},
          {"recovery_ms", std::to_string(recoveryMs)}});
}

}  // namespace
