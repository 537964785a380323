// Test support: checks that hold for the service however it runs, written
// once for every backend of service_harness.h.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/service/gbk.h"
#include "tests/support/service_harness.h"

namespace testsupport {

// The service's socket of the connection that `log` shows accepted next;
// -1 when none shows.
inline int NextAcceptedSocket(LogTail& log) {
  std::optional<std::string> id = log.WaitForLine(G("127.0.0.1连入;SocketID = "));
  return id ? std::stoi(*id) : -1;
}

// The log starts with the day's first lines, each line with its timestamp,
// `startLines` among them; then a request gives the connect line, the bytes
// received as they came, the converted request line, and the command with
// its parameters, all under the socket of the connect line.
inline void ExpectEveryStepLogged(ServiceUnderTest& service,
                                  const std::vector<std::string>& startLines) {
  const std::string start = service.Log();
  EXPECT_EQ(start.substr(0, 11), TodaysDate() + " ");  // "yyyy-mm-dd hh:mm:ss "
  EXPECT_EQ(start.substr(19, 1), " ");
  for (const std::string& line : startLines) {
    EXPECT_NE(start.find(line + "\r\n"), std::string::npos) << line;
  }
  LogTail log(service);
  Client client(service.Port());
  const std::string id = std::to_string(NextAcceptedSocket(log));
  ASSERT_TRUE(Ask(client, "logcheck?callback=cb"));
  ASSERT_TRUE(log.WaitFor("strCMD:LOGCHECK;strParam:callback=cb\r\n"));
  const std::string lines = service.Log().substr(start.size());
  for (const std::string& line :
       {G("127.0.0.1连入;SocketID = ") + id + "\r\n",
        "(" + id + G(")收到原始数据：") +
            "GET /logcheck?callback=cb HTTP/1.1\r\r\nHost: 127.0.0.1:10240\r\r\n\r\r\n\r\n",
        G("转换后数据：") + "GET /logcheck?callback=cb HTTP/1.1\r\r\n"}) {
    EXPECT_NE(lines.find(line), std::string::npos) << line;
  }
}

// While paused, connections wait in the backlog, unaccepted and unread:
// nothing is answered and nothing logged. After continue each is served.
// `whilePaused` adds a backend's own checks.
inline void ExpectPauseHoldsConnectionsUntilContinue(
    ServiceUnderTest& service, const std::function<void()>& whilePaused = [] {}) {
  LogTail log(service);
  ASSERT_TRUE(service.Pause());
  Client first(service.Port()), second(service.Port());
  first.Send(Request("paused?x"));
  second.Send(Request("paused?x"));
  // A window in which nothing may come, not a wait for an event.
  EXPECT_EQ(first.ReadFor(300ms), "");
  whilePaused();
  EXPECT_FALSE(log.WaitFor(G("连入"), 0ms));
  ASSERT_TRUE(service.Continue());
  const std::string reply =
      ExpectedReply("{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字PAUSED\"}");
  EXPECT_EQ(first.ReadReply(10s), reply);
  EXPECT_EQ(second.ReadReply(10s), reply);
}

// A clean close gives the disconnect line with the socket of the connect
// line, once, and no error line. The peer's system answers a reply that
// arrives after its clean close with a reset; the close came first and is
// what the log shows.
inline void ExpectCleanCloseGivesOnlyTheDisconnectLine(ServiceUnderTest& service) {
  const std::string request = Request("closing?x");
  const std::string unknown =
      ExpectedReply("{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字CLOSING\"}");
  struct Case {
    const char* name;
    std::string request;
    std::function<void(Client&, LogTail&)> close;
  };
  const Case cases[] = {
      {"closed without a request", "", [](Client& c, LogTail&) { c.Close(); }},
      {"closed at once", request,
       [](Client& c, LogTail&) {
         c.CloseSending();  // the close goes out before any reply can arrive
         c.Close();
       }},
      {"closed sending, reply read", request,
       [&](Client& c, LogTail&) {
         c.CloseSending();
         EXPECT_EQ(c.ReadReply(10s), unknown);
       }},
      {"closed during the identity-card tone", Request("getpid?closing"),
       [](Client& c, LogTail& log) {
         ASSERT_TRUE(log.WaitFor("strCMD:GETPID;strParam:closing\r\n", 10s));
         c.Close();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t start = service.Log().size();
    LogTail log(service);
    const int socket = [&] {
      Client client(service.Port());
      const int id = NextAcceptedSocket(log);
      if (!c.request.empty()) client.Send(c.request);
      c.close(client, log);
      return id;
    }();
    const std::string id = ";SocketID = " + std::to_string(socket) + "\r\n";
    ASSERT_TRUE(log.WaitFor(G("127.0.0.1断开连接") + id, 10s));
    // A window in which no second line may come, not a wait for an event.
    EXPECT_FALSE(log.WaitFor(G("断开连接"), 300ms));
    const std::string lines = service.Log().substr(start);
    if (!c.request.empty()) {
      EXPECT_LT(lines.rfind("strCMD:"), lines.rfind(G("断开连接")));
    }
    EXPECT_EQ(lines.find(G("非法")), std::string::npos);
  }
}

// A reset after a reply gives the error line with the socket of the connect
// line and no disconnect line.
inline void ExpectResetGivesTheErrorLineAndNoDisconnectLine(ServiceUnderTest& service) {
  LogTail log(service), whole(service);
  int socket = -1;
  {
    Client client(service.Port());
    socket = NextAcceptedSocket(log);
    client.Send(Request("resetting?x"));
    ASSERT_TRUE(client.ReadReply(10s));
    client.Reset();
  }
  const std::string id = ";SocketID = " + std::to_string(socket) + "\r\n";
  EXPECT_TRUE(log.WaitFor(G("127.0.0.1非法：10054") + id, 10s));
  // A window in which no disconnect line may come, not a wait for an event.
  EXPECT_FALSE(whole.WaitFor(G("断开连接"), 300ms));
}

}  // namespace testsupport
