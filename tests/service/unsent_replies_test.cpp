// Replies that a client does not read at once: sent whole and in order, and
// a connection whose reply is still going out is not read meanwhile, so a
// client that never reads holds one reply in the service, no more.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "tests/service/service_on_port.h"

namespace duvane {
namespace {

using testsupport::Client;

// The service's socket with a small send buffer stands for a slow network:
// on loopback the kernel would otherwise take megabytes before the service
// has to keep anything itself.
void ShrinkSendBuffer(int socket, int bytes = 4096) {
  ASSERT_EQ(setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes), 0);
}

std::string PidBody(int callback) {
  return "cb" + std::to_string(callback) +
         "({\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"x\",\"Sex\":\"\","
         "\"Nation\":\"\",\"Address\":\"\",\"IDCardNo\":\"\",\"photo\":\"" +
         std::string(kPhotoBytes * 4 / 3, 'A') + "\"})";
}

TEST_F(ServiceOnEphemeralPort, SlowReaderGetsEveryReplyWholeAndInOrder) {
  constexpr int kRequests = 6;
  LogTail log(*service_);
  Client client(port_, 4096);
  const int socket = NextAcceptedSocket(log);
  ASSERT_GE(socket, 0);
  ShrinkSendBuffer(socket);
  // The replies are read as they come, a little at a time.
  std::vector<std::optional<std::string>> replies;
  std::thread reader([&] {
    for (int i = 0; i < kRequests; ++i) replies.push_back(client.ReadReply(10s));
  });
  for (int i = 0; i < kRequests; ++i) {
    // Each request waits until the one before was received, so each is a
    // read event of its own and gets its own reply.
    client.Send("GET /getpid?callback=cb" + std::to_string(i) + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(log.WaitFor("strParam:callback=cb" + std::to_string(i) + "\r\n", 10s)) << i;
  }
  reader.join();
  for (int i = 0; i < kRequests; ++i) {
    const std::optional<std::string>& reply = replies[static_cast<size_t>(i)];
    EXPECT_TRUE(reply == ExpectedReply(PidBody(i)))  // too long to print
        << "reply " << i << ": " << (reply ? reply->substr(0, 300) : "none");
  }
  EXPECT_EQ(service_->Log().find(G("非法")), std::string::npos);
}

TEST_F(ServiceOnEphemeralPort, ClientThatNeverReadsHoldsOneReplyWhileOthersAreServed) {
  // Each reply echoes the word: more than the least buffers on both sides
  // take, so part of the first reply waits in the service.
  const std::string word(9000, 'W');
  const auto request = [&](int i) {
    return "GET /" + word + "?" + std::to_string(i) + " HTTP/1.1\r\n\r\n";
  };
  LogTail log(*service_);
  Client hog(port_, 1);
  const int socket = NextAcceptedSocket(log);
  ASSERT_GE(socket, 0);
  ShrinkSendBuffer(socket, 1);
  hog.Send(request(0));
  ASSERT_TRUE(log.WaitFor(";strParam:0\r\n"));
  hog.Send(request(1));

  Client other(port_);
  other.Send("GET /foo?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(other.ReadReply(), ExpectedReply(kUnknownFoo));
  // The second request waits in the kernel while the first reply is out.
  EXPECT_FALSE(log.WaitFor(";strParam:1\r\n", 300ms));

  const std::string reply =
      ExpectedReply("{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字" + word + "\"}");
  for (int i = 0; i < 2; ++i) {
    const std::optional<std::string> got = hog.ReadReply(10s);
    EXPECT_TRUE(got == reply) << "reply " << i << ": " << (got ? got->substr(0, 300) : "none");
  }
  EXPECT_EQ(service_->Log().find(G("非法")), std::string::npos);
}

}  // namespace
}  // namespace duvane
