// A request whose handling fails: the failure is logged, nothing is sent,
// and only failures of the service's own kind are handled here.
#include <gtest/gtest.h>

#include <new>

#include "service/request_handler.h"
#include "tests/host/host_test_support.h"
#include "tests/service/gbk.h"

namespace duvane {
namespace {

TEST(RequestFailure, OwnFailureIsLoggedAfterTheRequestLinesAndNothingIsSent) {
  hosttest::LogFolder log;
  auto failing = [](size_t) -> ReplyBody { throw ServiceError("reader fault"); };

  auto reply = ServerSocket1ClientRead("GET /GETCARDNO?x HTTP/1.1", 7, log.Log(), failing);

  EXPECT_FALSE(reply);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                "(7)" + G("收到原始数据：") + "GET /GETCARDNO?x HTTP/1.1",
                                G("转换后数据：") + "GET /GETCARDNO?x HTTP/1.1",
                                "strCMD:GETCARDNO;strParam:x",
                                G("处理数据异常：") + "reader fault",
                            }));
}

TEST(RequestFailure, OutOfMemoryIsLeftToTheEventDispatch) {
  hosttest::LogFolder log;
  auto exhausted = [](size_t) -> ReplyBody { throw std::bad_alloc(); };

  EXPECT_THROW(ServerSocket1ClientRead("GET /GETPID?x HTTP/1.1", 7, log.Log(), exhausted),
               std::bad_alloc);
  EXPECT_EQ(log.Messages().size(), 3u);  // no failure line of its own
}

}  // namespace
}  // namespace duvane
