// The real SDuvane program on its fixed port and fixed log folder, inside a
// private network and mount namespace.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/service/gbk.h"
#include "tests/support/service_checks.h"
#include "tests/support/service_program.h"

namespace {

using namespace std::chrono_literals;
using namespace testsupport;

constexpr uint16_t kPort = kServicePort;

class ServiceBinary : public PrivateHostTest {
 protected:
  // Starts the program with no reader service reachable and waits until it
  // reports its start sequence done.
  static std::unique_ptr<ServiceProgram> Start() {
    return std::make_unique<ServiceProgram>(ProgramOptions::WithoutReaderService());
  }
};

TEST_F(ServiceBinary, AnswersOnItsPortAndLogsEveryStepInGbk) {
  auto service = Start();
  Client client(kPort);
  client.Send("GET /getcardno?callback=cb HTTP/1.1\r\nHost: 127.0.0.1:10240\r\n\r\n");
  auto reply = client.ReadReply(10s);
  ASSERT_TRUE(reply);
  const std::string body =
      "cb({\"ResultCode\":\"0201\",\"ResultMsg\":\"读卡失败\",\"CardNo\":\"0X00000000\"})";
  EXPECT_EQ(*reply, ExpectedReply(body));
  EXPECT_FALSE(client.PeerClosed(100ms));
  // Without its setting, the identity-card stand-in finds no reader.
  EXPECT_EQ(service->Body("getpid"),
            "{\"ResultCode\":\"0100\",\"ResultMsg\":\"寻找身份证阅读器失败\"}");
  ExpectEveryStepLogged(*service, {G("服务侦听开始启动"), G("打开370读卡器成功！")});
}

TEST_F(ServiceBinary, StopBySignalLogsTheStopAndNoDisconnects) {
  auto service = Start();
  Client open(kPort);
  ASSERT_TRUE(service->LogHas(G("连入;SocketID = ")));
  EXPECT_TRUE(service->Stop());
  EXPECT_TRUE(open.PeerClosed(2s));
  std::string log = ReadTodaysLog();
  EXPECT_NE(log.find(G("服务侦听停止") + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find(G("断开连接")), std::string::npos);
}

TEST_F(ServiceBinary, RunsWithoutListeningWhenThePortIsTaken) {
  int blocker = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(kPort);
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(blocker, 5), 0);

  auto service = Start();
  ASSERT_TRUE(service->LogHas(G("服务侦听开始启动")));
  std::string log = ReadTodaysLog();
  size_t error =
      log.find(G("服务侦听启动异常：") +
               "Windows socket error: Address already in use (10048), on API 'bind'\r\n");
  EXPECT_NE(error, std::string::npos) << log;
  EXPECT_LT(error, log.find(G("服务侦听开始启动")));
  EXPECT_FALSE(service->Program().Wait(200ms).has_value());  // still running
  EXPECT_TRUE(service->Stop());
  close(blocker);
}

// Pause and continue come as signals and are reported back.
TEST_F(ServiceBinary, PauseHoldsConnectionsInTheBacklogUntilContinue) {
  auto service = Start();
  ExpectPauseHoldsConnectionsUntilContinue(*service);
}

}  // namespace
