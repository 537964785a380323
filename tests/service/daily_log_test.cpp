#include "service/daily_log.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/clock.h"
#include "tests/service/gbk.h"
#include "tests/support/private_host.h"

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

// The targets of this process's open descriptors.
std::vector<std::string> OpenFiles() {
  std::vector<std::string> targets;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    targets.push_back(std::filesystem::read_symlink(entry.path(), ec).string());
  }
  return targets;
}

bool IsOpen(const std::string& path) {
  const std::vector<std::string> open = OpenFiles();
  return std::find(open.begin(), open.end(), path) != open.end();
}

class DailyLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duvane-log-XXXXXX";
    root_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  static std::string Read(const std::string& path) { return testsupport::ReadWholeFile(path); }
  static bool Has(const std::string& path, const std::string& text) {
    return Read(path).find(text) != std::string::npos;
  }
  std::string root_;
};

TEST_F(DailyLogFile, CreatesTheFolderAndEachLineIsInTheFileOnReturn) {
  DailyLog log(root_ + "/missing/duvane/");
  const std::string path = root_ + "/missing/duvane/" + LogFileName(platform::NowLocal());
  for (const char* line : {"one", "two", "three"}) {
    log.WriteLog(line);
    EXPECT_TRUE(Has(path, std::string(" ") + line + "\r\n")) << line;
  }
  EXPECT_LT(Read(path).find(" one"), Read(path).find(" two"));
}

// Whatever another program does to the file, its folder or the path above it
// between two lines, the next line goes to the file that the path names.
TEST_F(DailyLogFile, NextLineGoesToTheFileThePathNamesAfterOtherProgramsChangeIt) {
  namespace fs = std::filesystem;
  // Each act returns where the earlier line is now ("" when gone).
  using Act = std::function<std::string(const std::string& folder, const std::string& file)>;
  struct Case {
    const char* name;
    Act act;
    bool linkedFolder = false;  // the folder is a symbolic link to root_/a
  };
  const std::string name = LogFileName(platform::NowLocal());
  const bool privateHost = testsupport::EnterPrivateHost();
  const Case cases[] = {
      {"file deleted", [](auto&, auto& file) { return fs::remove(file), std::string(); }},
      {"file renamed",
       [](auto& folder, auto& file) {
         return fs::rename(file, folder + "old.txt"), folder + "old.txt";
       }},
      {"file moved to another folder",
       [&](auto&, auto& file) {
         return fs::rename(file, root_ + "/elsewhere.txt"), root_ + "/elsewhere.txt";
       }},
      {"another file moved onto the name",
       [](auto& folder, auto& file) {
         std::ofstream(folder + "new.txt") << "new\r\n";
         return fs::rename(folder + "new.txt", file), std::string();
       }},
      {"folder removed", [](auto& folder, auto&) { return fs::remove_all(folder), std::string(); }},
      {"folder moved",
       [&](auto& folder, auto&) {
         return fs::rename(folder, root_ + "/moved"), root_ + "/moved/" + name;
       }},
      {"parent renamed",
       [&](auto&, auto&) {
         return fs::rename(root_ + "/var", root_ + "/var-old"), root_ + "/var-old/duvane/" + name;
       }},
      {"linked folder pointed elsewhere",
       [&](auto&, auto&) {
         fs::create_directory(root_ + "/b");
         fs::create_directory_symlink(root_ + "/b", root_ + "/var/next");
         fs::rename(root_ + "/var/next", root_ + "/var/duvane");
         return root_ + "/a/" + name;
       },
       true},
      {"file system mounted over the folder",
       [&](auto& folder, auto&) {
         EXPECT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m"), 0);
         return std::string();  // hidden under the mount
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool mounts = std::string(c.name).find("mounted") != std::string::npos;
    if (mounts && !privateHost) continue;
    const std::string folder = root_ + "/var/duvane/";
    const std::string file = folder + name;
    fs::create_directories(root_ + "/var");
    if (c.linkedFolder) {
      fs::create_directory(root_ + "/a");
      fs::create_directory_symlink(root_ + "/a", root_ + "/var/duvane");
    }
    DailyLog log(folder);
    // Two lines: the first one's making of the file is past when the act comes.
    log.WriteLog("before");
    log.WriteLog("before");
    const std::string earlier = c.act(folder, file);
    log.WriteLog("after");
    EXPECT_TRUE(Has(file, " after\r\n"));
    EXPECT_FALSE(Has(file, " before"));
    if (!earlier.empty()) {
      EXPECT_TRUE(Has(earlier, " before\r\n"));
      EXPECT_FALSE(Has(earlier, " after"));
    }
    // The new file is followed in turn.
    fs::remove(file);
    log.WriteLog("again");
    EXPECT_TRUE(Has(file, " again\r\n"));
    if (mounts) umount2(folder.c_str(), MNT_DETACH);
    fs::remove_all(root_);
    fs::create_directory(root_);
  }
  if (!privateHost) GTEST_SKIP() << "the mount case needs root";
}

TEST_F(DailyLogFile, UnwritableFolderDropsLinesQuietlyUntilItIsMended) {
  const std::string folder = root_ + "/duvane/";
  const std::string file = folder + LogFileName(platform::NowLocal());
  DailyLog log(folder);
  log.WriteLog("before");
  // A file where the folder should be: nothing can be created below it.
  std::filesystem::remove_all(folder);
  std::ofstream(root_ + "/duvane") << "x";
  log.WriteLog("lost");  // must neither throw nor crash
  EXPECT_EQ(Read(root_ + "/duvane"), "x");
  std::filesystem::remove(root_ + "/duvane");
  log.WriteLog("back");
  EXPECT_TRUE(Has(file, " back\r\n"));
  EXPECT_FALSE(Has(file, "lost"));
}

TEST_F(DailyLogFile, MidnightStartsTheNewFileAndLetsGoOfTheOld) {
  platform::LocalTime now = kLastSecond;
  const size_t openBefore = OpenFiles().size();
  {
    DailyLog log(root_ + "/", [&] { return now; });
    { std::ofstream(root_ + "/20240304.txt") << "old"; }
    log.WriteLog("last of the day");
    now = {2024, 3, 6, 0, 0, 0};
    log.WriteLog("first of the next");
    EXPECT_EQ(Read(root_ + "/20240305.txt"), "2024-03-05 23:59:59 last of the day\r\n");
    EXPECT_EQ(Read(root_ + "/20240306.txt"), "2024-03-06 00:00:00 first of the next\r\n");
    EXPECT_EQ(Read(root_ + "/20240304.txt"), "old");
    EXPECT_FALSE(IsOpen(root_ + "/20240305.txt"));

    // Nothing logged after the next midnight: the ended day's file is let go
    // of all the same.
    log.CloseEndedDay();
    EXPECT_TRUE(IsOpen(root_ + "/20240306.txt"));
    now = {2024, 3, 7, 0, 0, 1};
    log.CloseEndedDay();
    EXPECT_FALSE(IsOpen(root_ + "/20240306.txt"));
  }
  EXPECT_EQ(OpenFiles().size(), openBefore);  // nothing leaked
}

TEST_F(DailyLogFile, ABatchReachesTheFileWhenItEndsAndEachLineInItsDaysFile) {
  platform::LocalTime now = kLastSecond;
  DailyLog log(root_ + "/", [&] { return now; });
  {
    const DailyLog::Batch outer(log);
    log.WriteLog("a");
    { const DailyLog::Batch inner(log); }
    log.WriteLog("b");
    EXPECT_EQ(Read(root_ + "/20240305.txt"), "");
    now = {2024, 3, 6, 0, 0, 0};
    log.WriteLog("c");
    EXPECT_EQ(Read(root_ + "/20240305.txt"), "2024-03-05 23:59:59 a\r\n2024-03-05 23:59:59 b\r\n");
    EXPECT_EQ(Read(root_ + "/20240306.txt"), "");
  }
  EXPECT_EQ(Read(root_ + "/20240306.txt"), "2024-03-06 00:00:00 c\r\n");
  log.WriteLog("d");
  EXPECT_EQ(Read(root_ + "/20240306.txt"), "2024-03-06 00:00:00 c\r\n2024-03-06 00:00:00 d\r\n");
}

}  // namespace
}  // namespace duvane
