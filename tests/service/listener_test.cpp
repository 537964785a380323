// The service object on an ephemeral port, in-process: connection events,
// request framing and the log lines, through real sockets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

#include "tests/service/service_on_port.h"
#include "tests/support/service_checks.h"

namespace duvane {
namespace {

using namespace std::chrono_literals;
using testsupport::BodyOf;
using testsupport::Client;
using testsupport::Eventually;

TEST_F(ServiceOnEphemeralPort, AnswersWithTheExactHeaderBlockAndKeepsTheConnection) {
  Client client(port_);
  ASSERT_TRUE(client.Connected());
  client.Send("GET /foo?x HTTP/1.1\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(client.ReadReply(), ExpectedReply(kUnknownFoo));
  client.Send("GET /FOO?y HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.ReadReply(), ExpectedReply(kUnknownFoo));
  EXPECT_FALSE(client.PeerClosed(200ms));
}

TEST_F(ServiceOnEphemeralPort, CallbackWrapsTheBodyAndLengthCountsUtf8Bytes) {
  Client client(port_);
  client.Send("GET /getcardno?CallBack+=+cb HTTP/1.1\r\n\r\n");
  auto reply = client.ReadReply();
  ASSERT_TRUE(reply);
  const std::string body =
      "cb({\"ResultCode\":\"0200\",\"ResultMsg\":\"无法打开读卡器\",\"CardNo\":\"0X00000000\"})";
  EXPECT_EQ(*reply, ExpectedReply(body));
  EXPECT_EQ(body.size(), 83u);  // each Chinese character counts three bytes
}

TEST_F(ServiceOnEphemeralPort, UnsafeCallbackGivesThePlainBody) {
  Client client(port_);
  client.Send("GET /foo?callback=alert(document.cookie)// HTTP/1.1\r\n\r\n");
  auto reply = client.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(BodyOf(*reply), kUnknownFoo);
}

TEST_F(ServiceOnEphemeralPort, UnrecognisedWordIsEchoedUpperCasedAndIntact) {
  const std::pair<std::string, std::string> cases[] = {
      {"/a%22b\\?x", "A\\\"B\\\\"},            // a quote in the path does not break the body
      {"/%EF%BD%87%CE%B1%D0%B0x?x", "ＧΑАX"},  // fullwidth g, Greek alpha, Cyrillic a
  };
  Client client(port_);
  for (const auto& [path, word] : cases) {
    client.Send("GET " + path + " HTTP/1.1\r\n\r\n");
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply) << path;
    EXPECT_EQ(BodyOf(*reply),
              "{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字" + word + "\"}");
  }
}

TEST_F(ServiceOnEphemeralPort, TwoRequestsInOneSegmentGetOneReplyForTheFirst) {
  Client client(port_);
  client.Send("GET /foo?x HTTP/1.1\r\n\r\nGET /bar?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.ReadReply(), ExpectedReply(kUnknownFoo));
  EXPECT_EQ(client.ReadFor(300ms), "");
}

TEST_F(ServiceOnEphemeralPort, RequestLineSplitOverTwoReadsGetsNoReply) {
  Client client(port_);
  client.Send("GET /foo?x HT");
  ASSERT_TRUE(service_->LogHas(G(")收到原始数据：") + "GET /foo?x HT"));
  client.Send("TP/1.1\r\n\r\n");
  ASSERT_TRUE(service_->LogHas(G(")收到原始数据：") + "TP/1.1"));
  EXPECT_EQ(client.ReadFor(300ms), "");
}

TEST_F(ServiceOnEphemeralPort, UnansweredRequestsLeaveTheConnectionUsable) {
  Client client(port_);
  for (std::string line :
       {"GET /GETCARDNO HTTP/1.1", "GET /foo?x HTTP/1.0", "POST /foo?x HTTP/1.1"}) {
    client.Send(line + "\r\n\r\n");
    ASSERT_TRUE(service_->LogHas(G("转换后数据：") + line + "\r\r\n"));
  }
  EXPECT_EQ(client.ReadFor(200ms), "");
  EXPECT_EQ(service_->Log().find("strCMD:"), std::string::npos);
  client.Send("GET /foo?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(client.ReadReply(), ExpectedReply(kUnknownFoo));
}

TEST_F(ServiceOnEphemeralPort, HostileBytesAreHandledWithoutHarm) {
  Client client(port_);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
  client.Send(garbage);
  client.Send("GET /%00?x HTTP/1.1\r\n\r\n");
  client.Send("GET /\xC3\x28\xFF%?x HTTP/1.1\r\n\r\n%");
  client.Send("GET /" + std::string(30000, 'a') + "?x HTTP/1.1\r\n\r\n");
  client.ReadFor(300ms);
  Client again(port_);
  again.Send("GET /foo?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(again.ReadReply(), ExpectedReply(kUnknownFoo));
}

TEST_F(ServiceOnEphemeralPort, LogsEveryStepOfAnAnsweredRequest) {
  testsupport::ExpectEveryStepLogged(*service_, {G("服务侦听开始启动"), G("加载动态库失败")});
}

TEST_F(ServiceOnEphemeralPort, CleanCloseGivesOnlyTheDisconnectLineWithItsSocket) {
  testsupport::ExpectCleanCloseGivesOnlyTheDisconnectLine(*service_);
}

TEST_F(ServiceOnEphemeralPort, ResetGivesTheErrorLineAndNoDisconnectLine) {
  testsupport::ExpectResetGivesTheErrorLineAndNoDisconnectLine(*service_);
}

TEST_F(ServiceOnEphemeralPort, StopDropsConnectionsWithoutDisconnectLines) {
  Client a(port_), b(port_);
  ASSERT_TRUE(Eventually([&] {
    std::string log = service_->Log();
    size_t first = log.find(G("连入"));
    return first != std::string::npos && log.find(G("连入"), first + 1) != std::string::npos;
  }));
  ASSERT_TRUE(service_->Stop());
  EXPECT_TRUE(a.PeerClosed(2s));
  EXPECT_TRUE(b.PeerClosed(2s));
  std::string log = service_->Log();
  EXPECT_NE(log.find(G("服务侦听停止")), std::string::npos);
  EXPECT_EQ(log.find(G("断开连接")), std::string::npos);
}

TEST_F(ServiceOnEphemeralPort, PausedServiceAnswersNothingUntilContinued) {
  testsupport::ExpectPauseHoldsConnectionsUntilContinue(*service_);
}

// Takes every descriptor the process may still open, under a lowered limit;
// gives them back when it goes.
class DescriptorsTaken {
 public:
  DescriptorsTaken() {
    getrlimit(RLIMIT_NOFILE, &before_);
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit lowered = before_;
    lowered.rlim_cur = static_cast<rlim_t>(highest) + 16;
    setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
  }
  ~DescriptorsTaken() {
    for (int fd : taken_) close(fd);
    setrlimit(RLIMIT_NOFILE, &before_);
  }
  // Frees one, for a client socket of the test.
  void GiveOne() {
    close(taken_.back());
    taken_.pop_back();
  }

 private:
  rlimit before_{};
  std::vector<int> taken_;
};

// Out of descriptors, the listener cannot take a waiting connection; paused
// then, the loop neither tries again and again nor piles anything up, and
// after continue the connection is served.
TEST_F(ServiceOnEphemeralPort, PausedWithDescriptorsExhaustedSpendsNoCpuAndNoMemory) {
#if defined(__SANITIZE_ADDRESS__)
  // Their runtime checks memory through a pipe: with no descriptor left it
  // reports faults that are not there.
  GTEST_SKIP() << "not under the sanitizers";
#endif
  clockid_t loopClock{};
  ASSERT_EQ(pthread_getcpuclockid(service_->Thread().native_handle(), &loopClock), 0);
  const auto loopCpu = [&] {
    timespec t{};
    clock_gettime(loopClock, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
  };
  // Whether the loop has reported a failed accept (read on its thread).
  const auto acceptFailed = [&] {
    auto seen = std::make_shared<std::atomic<int>>(-1);
    const testsupport::InProcessService& service = *service_;
    service_->Loop().Post([&service, seen] {
      const std::vector<std::string>& unhandled = service.Unhandled();
      *seen = std::any_of(unhandled.begin(), unhandled.end(), [](const std::string& m) {
        return m.find("on API 'accept'") != std::string::npos;
      });
    });
    return Eventually([&] { return *seen >= 0; }) && *seen == 1;
  };
  std::optional<Client> waiting;
  {
    DescriptorsTaken exhausted;
    exhausted.GiveOne();
    waiting.emplace(port_);
    ASSERT_TRUE(waiting->Connected());
    ASSERT_TRUE(Eventually(acceptFailed));
    ASSERT_TRUE(service_->Pause());
    // A measuring window, not a wait for an event.
    const auto cpuBefore = loopCpu();
    const size_t heapBefore = mallinfo2().uordblks;
    std::this_thread::sleep_for(1s);
    EXPECT_LT(loopCpu() - cpuBefore, 50ms);
    EXPECT_LT(mallinfo2().uordblks, heapBefore + 64 * 1024);
    ASSERT_TRUE(service_->Continue());
  }
  waiting->Send("GET /foo?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(waiting->ReadReply(), ExpectedReply(kUnknownFoo));
}

// The machine is going down: the loop ends, and no stop line is written.
TEST_F(ServiceOnEphemeralPort, ShutdownEndsTheServiceWithoutTheStopSequence) {
  service_->Control(platform::ServiceControl::Shutdown);
  service_->Thread().join();
  EXPECT_NE(service_->Log().find(G("服务侦听开始启动")), std::string::npos);
  EXPECT_EQ(service_->Log().find(G("服务侦听停止")), std::string::npos);
}

TEST_F(ServiceOnEphemeralPort, PeriodicTaskRunsWhileIdleAndWhilePaused) {
  // Shared: the loop may still call the task after this test body ends.
  auto calls = std::make_shared<std::atomic<int>>(0);
  EventLoop& loop = service_->Loop();
  loop.Post([&loop, calls] { loop.CallEvery(5ms, [calls] { ++*calls; }); });
  EXPECT_TRUE(Eventually([&] { return *calls >= 2; }));
  ASSERT_TRUE(service_->Pause());
  const int before = *calls;
  EXPECT_TRUE(Eventually([&] { return *calls >= before + 2; }));
}

TEST_F(ServiceOnEphemeralPort, StartLogShowsTheBindErrorWhenThePortIsTaken) {
  testsupport::InProcessService other({.port = port_});
  EXPECT_FALSE(other.Loop().Active());
  const std::string expected = G("服务侦听启动异常：") +
                               "Windows socket error: Address already in use (10048), on API "
                               "'bind'\r\n";
  std::string log = other.Log();
  size_t failed = log.find(expected);
  EXPECT_NE(failed, std::string::npos) << log;
  EXPECT_LT(failed, log.find(G("服务侦听开始启动")));
  EXPECT_LT(log.find(G("服务侦听开始启动")), log.find(G("加载动态库失败")));
}

}  // namespace
}  // namespace duvane
