// The real SDuvane program with its reader library: the start sequence, the
// card commands against the simulated reader, and registration, each run in
// private namespaces on the fixed port and log folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim_reader.h"
#include "tests/service/gbk.h"
#include "tests/support/service_program.h"

namespace {

using namespace std::chrono_literals;
using namespace testsupport;
namespace fs = std::filesystem;

// A folder holding a copy of the program, its identity-card helper, the
// identity-card library unless left out and, when given, a file installed as
// libVelmora.so: the program looks for its reader library next to itself.
class Installation {
 public:
  explicit Installation(const std::string& readerLibrary, bool idCardLibrary = true) {
    char tmpl[] = "/tmp/duvane-inst-XXXXXX";
    folder_ = mkdtemp(tmpl);
    for (const char* file : {"SDuvane", "duvane-idcard", "libZetIDCardAPI.so"}) {
      if (idCardLibrary || std::string(file) != "libZetIDCardAPI.so") {
        fs::copy_file(BinFolder() + "/" + file, folder_ + "/" + file);
      }
    }
    if (!readerLibrary.empty()) fs::copy_file(readerLibrary, folder_ + "/libVelmora.so");
  }
  ~Installation() { fs::remove_all(folder_); }
  std::string Program() const { return folder_ + "/SDuvane"; }

 private:
  std::string folder_;
};

std::string Stub(const std::string& variant) {
  return BinFolder() + "/libhost_stub_" + variant + ".so";
}

class ServiceHost : public PrivateHostTest {
 protected:
  void SetUp() override {
    PrivateHostTest::SetUp();
    if (IsSkipped()) return;
    char tmpl[] = "/tmp/duvane-calls-XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    callLog_ = tmpl;
  }
  void TearDown() override { unlink(callLog_.c_str()); }

  std::unique_ptr<ServiceProgram> Start(const std::string& program) {
    return std::make_unique<ServiceProgram>(
        ProgramOptions{.program = program, .env = {{"HOST_STUB_CALL_LOG", callLog_}}});
  }

  std::string Calls() const { return ReadWholeFile(callLog_); }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  // Checks that `lines` appear in the log in this order.
  static void ExpectInOrder(const std::string& log, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const auto& line : lines) {
      size_t found = log.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line;
      at = found + line.size();
    }
  }

  std::string callLog_;
};

const std::string kNoReaderNo =
    "{\"ResultCode\":\"0200\",\"ResultMsg\":\"无法打开读卡器\",\"CardNo\":\"0X00000000\"}";
const std::string kNoReaderSn =
    "{\"ResultCode\":\"0200\",\"ResultMsg\":\"无法打开读卡器\",\"CardSN\":\"0X00000000\"}";

TEST_F(ServiceHost, WithoutTheLibraryItLogsTheLoadFailureAndAnswers0200) {
  Installation install("");
  auto service = Start(install.Program());
  EXPECT_EQ(service->Body("getcardno"), kNoReaderNo);
  EXPECT_EQ(service->Body("getcardsn"), kNoReaderSn);
  ExpectInOrder(ReadTodaysLog(), {G("服务侦听开始启动") + "\r\n", G("加载动态库失败") + "\r\n"});
  EXPECT_TRUE(service->Stop());
}

// As a program that imports a library which is missing, the service does
// not start without its identity-card library: no log line, exit status 1
// (the reason is in the system log).
TEST_F(ServiceHost, WithoutTheIdentityCardLibraryItDoesNotStart) {
  Installation install("", false);
  Process service(install.Program(), {});
  EXPECT_EQ(service.Wait(), 1);
  EXPECT_EQ(ReadTodaysLog(), "");
}

TEST_F(ServiceHost, IncompleteLibraryIsNotOpenedAtStartButLazilyOnFirstUse) {
  Installation install(Stub("no_pidsn"));
  auto service = Start(install.Program());
  std::string log = ReadTodaysLog();
  ExpectInOrder(log, {G("服务侦听开始启动") + "\r\n", G("动态库函数不完整") + "\r\n"});
  EXPECT_EQ(log.find(G("打开370读卡器")), std::string::npos);
  EXPECT_EQ(service->Body("getcardno"),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardNo\":\"04030201\"}");
  EXPECT_NE(ReadTodaysLog().find(G("打开370读卡器成功！") + "\r\n"), std::string::npos);
  EXPECT_TRUE(service->Stop());
  EXPECT_EQ(Count(Calls(), "ReadCard_Init"), 1u);
  EXPECT_EQ(Count(Calls(), "ReadCard_Exit"), 1u);
}

TEST_F(ServiceHost, ReaderThatNeverOpensIsRetriedAndNeverClosed) {
  Installation install(Stub("init_zero"));
  auto service = Start(install.Program());
  EXPECT_EQ(service->Body("getcardsn"), kNoReaderSn);
  EXPECT_TRUE(service->Stop());
  std::string log = ReadTodaysLog();
  EXPECT_EQ(Count(log, G("打开370读卡器失败！")), 2u);  // at start and on the command
  EXPECT_EQ(Count(Calls(), "ReadCard_Exit"), 0u);
  ExpectInOrder(log, {G("服务侦听停止") + "\r\n"});
}

const std::string kDemoNumber =
    "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardNo\":\"04030201\"}";
const std::string kDemoSerial =
    "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardSN\":\"D4C3B2A1\",\"CardType\":\"8\"}";

// The service with its reader library against the simulated reader, in the
// view that its unit's sandbox gives it (read-only system and home, private
// /tmp, only the log folders writable; duvane-sandbox-run), installed outside
// /tmp as a package installs it, with pcscd at its usual socket and the
// identity-card simulation. (The card commands' failures through the real
// library are tested in-process, tests/host.)
class SandboxedService : public ServiceHost {
 protected:
  static constexpr const char* kFolder = "/mnt/duvane";

  void SetUp() override {
    ServiceHost::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(mount("tmpfs", "/mnt", "tmpfs", 0, "size=64m"), 0);
    fs::create_directories(kFolder);
    for (const char* file : {"SDuvane", "duvane-idcard", "libVelmora.so", "libZetIDCardAPI.so"}) {
      fs::copy_file(BinFolder() + "/" + file, std::string(kFolder) + "/" + file);
    }
    std::ofstream(std::string(kFolder) + "/face.bin") << "\x89PNG";
    std::ofstream(std::string(kFolder) + "/holder.txt")
        << "name=林晓澜\nsex=女\nnation=汉\naddress=松涛路十八号\nidnumber=99010219900307002X\n"
           "photo="
        << kFolder << "/face.bin\n";
    fs::create_directories("/run/pcscd");
    ASSERT_EQ(mount("tmpfs", "/run/pcscd", "tmpfs", 0, "size=1m"), 0);
    pcscd_ = std::make_unique<simreader::SimPcscd>(
        std::vector<std::string>{"Quorvell K370A Reader"}, "/run/pcscd/pcscd.comm");
    pcscd_->Reader().InsertCard(simreader::DemoCard());
    ASSERT_TRUE(pcscd_->Reader().WaitForCard(true, 5s));
  }

  static int RunSandboxed(const std::string& shellCommand) {
    Process shell(BinFolder() + "/duvane-sandbox-run", {"/bin/sh", "-c", shellCommand});
    return shell.Wait().value_or(-1);
  }

  // The status reports cannot reach a socket in the test's /tmp: ready is
  // listening with the reader library bound.
  static ProgramOptions Sandboxed() {
    return {.program = std::string(kFolder) + "/SDuvane",
            .launcher = {BinFolder() + "/duvane-sandbox-run"},
            .env = {{"ZETIDCARD_SIM", std::string(kFolder) + "/holder.txt"}},
            .readyLine = G("打开370读卡器")};
  }

  std::unique_ptr<simreader::SimPcscd> pcscd_;
};

TEST_F(SandboxedService, AnswersEveryCommandWithOnlyItsLogFolderWritable) {
  EXPECT_EQ(RunSandboxed("touch /var/log/duvane/probe && rm /var/log/duvane/probe"), 0);
  EXPECT_NE(RunSandboxed(std::string("touch ") + kFolder + "/probe"), 0);

  ServiceProgram service(Sandboxed());
  ASSERT_TRUE(service.Ready());
  EXPECT_EQ(service.Body("getcardno"), kDemoNumber);
  EXPECT_EQ(service.Body("GetCardSN"), kDemoSerial);
  EXPECT_EQ(service.Body("getcardsn"), kDemoSerial);
  EXPECT_EQ(service.Body("getpid"),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"林晓澜\",\"Sex\":\"女\","
            "\"Nation\":\"汉\",\"Address\":\"松涛路十八号\",\"IDCardNo\":\"99010219900307002X\","
            "\"photo\":\"iVBORw==\"}");
  EXPECT_TRUE(service.Stop());
  const std::string log = ReadTodaysLog();
  // Opened once at start; the commands open nothing and log nothing of their own.
  EXPECT_EQ(Count(log, G("打开370读卡器成功！")), 1u);
  ExpectInOrder(log, {G("服务侦听开始启动"), G("打开370读卡器成功！"), "strCMD:GETCARDNO",
                      "strCMD:GETCARDSN", "strCMD:GETCARDSN", "strCMD:GETPID", G("服务侦听停止")});
}

// An administrator deletes the log folder while the service runs; the kernel
// then drops the sandbox's mount of it. The next line is in the folder again.
TEST_F(SandboxedService, LogFolderDeletedWhileRunningIsMadeAgain) {
  ServiceProgram service(Sandboxed());
  ASSERT_TRUE(service.Ready());
  fs::remove_all("/var/log/duvane");
  EXPECT_EQ(service.Body("getcardno"), kDemoNumber);
  EXPECT_TRUE(
      Eventually([] { return ReadTodaysLog().find("strCMD:GETCARDNO") != std::string::npos; }));
  EXPECT_TRUE(service.Stop());
}

// Registration against a private, empty unit folder.
class Registration : public PrivateHostTest {
 protected:
  void SetUp() override {
    PrivateHostTest::SetUp();
    if (IsSkipped()) return;
    fs::create_directories("/etc/systemd/system");
    ASSERT_EQ(mount("tmpfs", "/etc/systemd/system", "tmpfs", 0, "size=1m"), 0);
    // Where systemd runs, hide it: the program would enable the unit for real.
    if (fs::exists("/run/systemd/system")) {
      ASSERT_EQ(mount("tmpfs", "/run/systemd/system", "tmpfs", MS_RDONLY, "size=1m"), 0);
      ASSERT_EQ(umount("/run/systemd/system"), 0);
      ASSERT_EQ(mount("tmpfs", "/run/systemd", "tmpfs", 0, "size=1m"), 0);
    }
  }
  void TearDown() override { umount("/etc/systemd/system"); }

  static Outcome Run(const std::vector<std::string>& args) {
    return RunToEnd(BinFolder() + "/SDuvane", args);
  }
};

const char* kUnit = "/etc/systemd/system/DuvaneS.service";

TEST_F(Registration, InstallTwiceThenUninstall) {
  Outcome first = Run({"/install"});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, "Service installed successfully\n");
  const std::string text = ReadWholeFile(kUnit);
  EXPECT_NE(text.find("ExecStart=" + BinFolder() + "/SDuvane"), std::string::npos);
  EXPECT_NE(text.find("Type=notify"), std::string::npos);

  Outcome second = Run({"-INSTALL", "-silent"});
  EXPECT_NE(second.status, 0);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err,
            "Service \"本地硬件服务\" failed to install with error: \"System Error.  Code: "
            "1073.\r\nThe specified service already "
            "exists.\"\n");

  Outcome removed = Run({"-Uninstall"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out, "Service uninstalled successfully\n");
  EXPECT_FALSE(fs::exists(kUnit));

  Outcome again = Run({"/UNINSTALL", "/SILENT"});
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.err.find("failed to uninstall with error: "), std::string::npos);
}

TEST_F(Registration, InstallIsLookedForBeforeUninstallAndSilentHidesSuccess) {
  Outcome both = Run({"-uninstall", "-install", "/Silent"});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, "");
  EXPECT_TRUE(fs::exists(kUnit));
}

}  // namespace
