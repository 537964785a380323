// Test support: checks that hold for the service however it runs, written
// once for every backend of service_harness.h.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/service/gbk.h"
#include "tests/support/service_harness.h"

namespace testsupport {

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

}  // namespace testsupport
