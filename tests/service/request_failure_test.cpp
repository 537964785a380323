// A request whose handling fails: the failure is logged, nothing is sent,
// and only failures of the service's own kind are handled here.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "platform/clock.h"
#include "service/daily_log.h"
#include "service/request_handler.h"
#include "tests/service/gbk.h"

namespace duvane {
namespace {

class RequestFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duvane-fail-XXXXXX";
    folder_ = std::string(mkdtemp(tmpl)) + "/";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The log's lines without their 20-character timestamps.
  std::vector<std::string> Messages() const {
    std::ifstream in(folder_ + LogFileName(platform::NowLocal()), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    std::vector<std::string> messages;
    std::string text = content.str();
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      messages.push_back(text.substr(start + 20, end - start - 20));
    }
    return messages;
  }

  std::string folder_;
};

TEST_F(RequestFailure, OwnFailureIsLoggedAfterTheRequestLinesAndNothingIsSent) {
  DailyLog log(folder_);
  auto failing = [](size_t) -> ReplyBody { throw ServiceError("reader fault"); };

  auto reply = ServerSocket1ClientRead("GET /GETCARDNO?x HTTP/1.1", 7, log, failing);

  EXPECT_FALSE(reply);
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "(7)" + G("收到原始数据：") + "GET /GETCARDNO?x HTTP/1.1",
                            G("转换后数据：") + "GET /GETCARDNO?x HTTP/1.1",
                            "strCMD:GETCARDNO;strParam:x",
                            G("处理数据异常：") + "reader fault",
                        }));
}

TEST_F(RequestFailure, OutOfMemoryIsLeftToTheEventDispatch) {
  DailyLog log(folder_);
  auto exhausted = [](size_t) -> ReplyBody { throw std::bad_alloc(); };

  EXPECT_THROW(ServerSocket1ClientRead("GET /GETPID?x HTTP/1.1", 7, log, exhausted),
               std::bad_alloc);
  EXPECT_EQ(Messages().size(), 3u);  // no failure line of its own
}

}  // namespace
}  // namespace duvane
