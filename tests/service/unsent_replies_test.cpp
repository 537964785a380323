// Replies that a client does not read at once: kept and sent whole and in
// order, up to a bound per connection.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "platform/unsent_bytes.h"
#include "tests/service/service_on_port.h"

namespace duvane {
namespace {

using testsupport::BodyOf;
using testsupport::Client;

TEST(UnsentBytes, KeepsOrderAndRefusesWhatWouldPassTheLimit) {
  struct Step {
    const char* append;  // nullptr: consume `consume` bytes instead
    size_t consume;
    bool accepted;
    const char* next;
  };
  const Step steps[] = {
      {"abc", 0, true, "abc"},
      {"defghijk", 0, false, "abc"},
      {"defghij", 0, true, "abcdefghij"},
      {nullptr, 4, true, "efghij"},
      {"klmn", 0, true, "efghijklmn"},
      {"o", 0, false, "efghijklmn"},
      {nullptr, 99, true, ""},
      {"0123456789", 0, true, "0123456789"},
  };
  platform::UnsentBytes unsent(10);
  for (const Step& step : steps) {
    if (step.append != nullptr) {
      EXPECT_EQ(unsent.Append(step.append), step.accepted) << step.append;
    } else {
      unsent.Consume(step.consume);
    }
    EXPECT_EQ(unsent.Next(), step.next);
    EXPECT_EQ(unsent.Size(), std::string_view(step.next).size());
  }
}

// The service's socket with a small send buffer stands for a slow network:
// on loopback the kernel would otherwise take megabytes before the service
// has to keep anything itself.
void ShrinkSendBuffer(int socket) {
  int bytes = 4096;
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
  LogTail log(LogPath());
  Client client(port_, 4096);
  const int socket = NextAcceptedSocket(log);
  ASSERT_GE(socket, 0);
  ShrinkSendBuffer(socket);
  for (int i = 0; i < kRequests; ++i) {
    // Each request waits until the one before was received, so each is a
    // read event of its own and gets its own reply.
    client.Send("GET /getpid?callback=cb" + std::to_string(i) + " HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(log.WaitFor("strParam:callback=cb" + std::to_string(i) + "\r\n"));
  }
  for (int i = 0; i < kRequests; ++i) {
    std::optional<std::string> reply = client.ReadReply();
    EXPECT_TRUE(reply == ExpectedReply(PidBody(i)))  // too long to print
        << "reply " << i << ": " << (reply ? reply->substr(0, 300) : "none");
  }
  EXPECT_EQ(Log().find(G("非法")), std::string::npos);
}

TEST_F(ServiceOnEphemeralPort, ClientThatNeverReadsIsClosedAtTheBoundWhileOthersAreServed) {
  // Each reply echoes the word: about 9 KiB.
  const std::string word(9000, 'W');
  LogTail log(LogPath()), errors(LogPath());
  Client hog(port_, 4096);
  const int socket = NextAcceptedSocket(log);
  ASSERT_GE(socket, 0);
  ShrinkSendBuffer(socket);
  Client other(port_);
  int sent = 0;
  for (; sent < 400 && !errors.WaitFor(G("非法："), 0ms); ++sent) {
    hog.Send("GET /" + word + "?" + std::to_string(sent) + " HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(log.WaitFor(";strParam:" + std::to_string(sent) + "\r\n"));
    if (sent % 32 == 0) {
      other.Send("GET /foo?x HTTP/1.1\r\n\r\n");
      EXPECT_EQ(other.ReadReply(), ExpectedReply(kUnknownFoo)) << "after " << sent;
    }
  }
  const std::string reply =
      ExpectedReply("{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字" + word + "\"}");
  EXPECT_GT(sent * reply.size(), platform::kMaxUnsentBytes);
  EXPECT_LT(sent, 400);

  const std::string id = ";SocketID = " + std::to_string(socket) + "\r\n";
  const std::string failed = G("127.0.0.1非法：10055") + id;
  const std::string closed = G("127.0.0.1断开连接") + id;
  ASSERT_TRUE(LogHas(closed));
  const std::string all = Log();
  const size_t at = all.find(failed);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(all.substr(at + failed.size() + 20, closed.size()), closed);  // the very next line
  other.Send("GET /foo?x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(other.ReadReply(), ExpectedReply(kUnknownFoo));
}

}  // namespace
}  // namespace duvane
