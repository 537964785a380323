#include "service/daily_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "tests/service/gbk.h"

namespace duvane {
namespace {

const platform::LocalTime kLastSecond{2024, 3, 5, 23, 59, 59};

TEST(DailyLogLine, TimestampThenMessageThenCrLf) {
  EXPECT_EQ(FormatLogLine(kLastSecond, "hello"), "2024-03-05 23:59:59 hello\r\n");
  EXPECT_EQ(FormatLogLine({2024, 1, 2, 3, 4, 5}, ""), "2024-01-02 03:04:05 \r\n");
  EXPECT_EQ(LogFileName(kLastSecond), "20240305.txt");
}

TEST(DailyLogLine, MessageBytesAreWrittenLiterally) {
  EXPECT_EQ(FormatLogLine(kLastSecond, "100%s %d"), "2024-03-05 23:59:59 100%s %d\r\n");
  EXPECT_EQ(FormatLogLine(kLastSecond, std::string("cut\0here", 8)), "2024-03-05 23:59:59 cut\r\n");
  EXPECT_EQ(FormatLogLine(kLastSecond, "a\nb\r\nc"), "2024-03-05 23:59:59 a\r\nb\r\r\nc\r\n");
  EXPECT_EQ(FormatLogLine(kLastSecond, G("服务侦听停止")),
            "2024-03-05 23:59:59 " + G("服务侦听停止") + "\r\n");
}

class DailyLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duvane-log-XXXXXX";
    root_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string root_;
};

TEST_F(DailyLogFile, CreatesTheFolderAndAppendsLines) {
  DailyLog log(root_ + "/missing/duvane/");
  log.WriteLog("one");
  log.WriteLog("two");
  std::string name = LogFileName(platform::NowLocal());
  std::string content = Read(root_ + "/missing/duvane/" + name);
  EXPECT_NE(content.find(" one\r\n"), std::string::npos);
  EXPECT_NE(content.find(" two\r\n"), std::string::npos);
  EXPECT_LT(content.find(" one"), content.find(" two"));
}

TEST_F(DailyLogFile, DeletedFileIsCreatedAgainAndOtherDaysAreUntouched) {
  DailyLog log(root_ + "/");
  { std::ofstream(root_ + "/20000101.txt") << "old"; }
  log.WriteLog("first");
  std::string name = LogFileName(platform::NowLocal());
  std::filesystem::remove(root_ + "/" + name);
  log.WriteLog("second");
  EXPECT_EQ(Read(root_ + "/" + name).find("first"), std::string::npos);
  EXPECT_NE(Read(root_ + "/" + name).find("second"), std::string::npos);
  EXPECT_EQ(Read(root_ + "/20000101.txt"), "old");
}

TEST_F(DailyLogFile, UnwritableFolderDropsTheLineQuietly) {
  // A file where the folder should be: nothing can be created below it.
  { std::ofstream(root_ + "/blocked") << "x"; }
  DailyLog log(root_ + "/blocked/");
  log.WriteLog("lost");  // must neither throw nor crash
  SUCCEED();
}

}  // namespace
}  // namespace duvane
