// SDuvane.exe of a Windows build (the 64-bit one, or with DUVANE_WINE_BITS=32
// the 32-bit one that users install) as a real service of Wine's service
// control manager, in a private host: registered with -INSTALL, started the
// way a Windows machine boots, asked over Winsock by a client on the Linux
// side, stopped with "net stop" and removed with -UNINSTALL. The folder of the
// service holds the test winscard.dll with the demo card and the stand-in's
// holder file, so every command answers from simulated hardware.
//
// The tests of the suite build on each other and run in their order.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "standin/zetidcard/base64.h"
#include "tests/service/gbk.h"
#include "tests/support/service_checks.h"
#include "tests/support/wine_service.h"

namespace {

using namespace std::chrono_literals;
using testsupport::BodyOf;
using testsupport::Client;
using testsupport::Eventually;
using testsupport::ExpectedReply;
using testsupport::Outcome;
using testsupport::WineService;
using testsupport::WineSession;

namespace fs = std::filesystem;

constexpr uint16_t kPort = testsupport::kServicePort;
constexpr const char* kProgram = WineService::kProgram;

int Bits() {
  const char* bits = std::getenv("DUVANE_WINE_BITS");
  return bits != nullptr && std::string(bits) == "32" ? 32 : 64;
}

fs::path WindowsBuild() {
  const char* named = std::getenv("DUVANE_WINDOWS_BUILD");
  if (named != nullptr && *named != '\0') return fs::path(named);
  return fs::path(Bits() == 32 ? DUVANE_WINDOWS_BUILD_32 : DUVANE_WINDOWS_BUILD);
}

std::string ReadFile(const fs::path& path) { return testsupport::ReadWholeFile(path.string()); }

class ServiceUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string preset = Bits() == 32 ? "windows-x86" : "windows-x64";
    if (!fs::exists(WindowsBuild() / "bin" / "SDuvane.exe")) {
      skip_ = "no " + std::to_string(Bits()) + "-bit Windows build in " + WindowsBuild().string() +
              " (cmake --preset " + preset + " && cmake --build --preset " + preset + ")";
      return;
    }
    if (!testsupport::EnterPrivateHost()) {
      skip_ = "needs root for a private host";
      return;
    }
    if (!WineSession::Installed(Bits())) {
      skip_ = "no " + std::to_string(Bits()) + "-bit Wine (scripts/bootstrap installs it)";
      return;
    }
    service_ = std::make_unique<WineService>(Bits(), WindowsBuild());
    wine_ = &service_->Session();
    std::string error;
    if (!wine_->Start(error) && Bits() == 32) {
      skip_ = "32-bit Wine does not run here: " + error;
      return;
    }
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_TRUE(LayOutServiceFolder());
    firstInstall_ = service_->Install();
    booted_ = service_->Boot();
  }

  static void TearDownTestSuite() {
    wine_ = nullptr;
    service_.reset();
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << skip_;
  }

  // The three shipped files, the test winscard.dll with a folder holding the
  // demo card, and the identity-card holder beside the stand-in.
  static bool LayOutServiceFolder() {
    const fs::path folder = service_->Folder();
    fs::create_directories(folder);
    const fs::path build = WindowsBuild();
    for (const char* file : {"SDuvane.exe", "Velmora.dll", "ZetIDCardAPI.dll"}) {
      fs::copy_file(build / "bin" / file, folder / file);
    }
    fs::copy_file(build / "test-bin" / "winscard.dll", folder / "winscard.dll");
    const fs::path demo = fs::path(DUVANE_SOURCE_DIR) / "standin/zetidcard/demo";
    fs::copy_file(demo / "holder.txt", folder / "ZetIDCardAPI.holder.txt");
    fs::copy_file(demo / "photo.png", folder / "photo.png");
    const std::string simFolder = (build / "test-bin" / "sim-folder.exe").string();
    return wine_->Run({simFolder, "C:\\duvane\\simreader"}).status == 0;
  }

  static std::string Log() { return service_->Log(); }
  static bool LogHas(const std::string& gbk) { return service_->LogHas(gbk); }

  static inline std::unique_ptr<WineService> service_;
  static inline WineSession* wine_ = nullptr;
  static inline std::string skip_;
  static inline Outcome firstInstall_;
  static inline bool booted_ = false;
};

TEST_F(ServiceUnderWine, InstallRegistersTheServiceOnceAndASecondInstallFails) {
  EXPECT_EQ(firstInstall_.status, 0) << firstInstall_.err;
  EXPECT_EQ(firstInstall_.out, "Service installed successfully\n");
  const Outcome query = wine_->Run({"sc", "query", "DuvaneS"});
  EXPECT_NE(query.out.find("RUNNING"), std::string::npos) << query.out;

  // Wine writes the registration as it got it; the display name is UTF-16.
  const std::string registry = ReadFile(wine_->MachineRegistry());
  const size_t key = registry.find(R"(\\Services\\DuvaneS])");
  ASSERT_NE(key, std::string::npos);
  const std::string values = registry.substr(key, registry.find("\n\n", key) - key);
  for (const char* value : {
           R"("DisplayName"="\x672c\x5730\x786c\x4ef6\x670d\x52a1")",
           R"("ErrorControl"=dword:00000001)",  // normal
           R"("ImagePath"="C:\\duvane\\SDuvane.exe")", R"("ObjectName"="LocalSystem")",
           R"("Start"=dword:00000002)",  // automatic
           R"("Type"=dword:00000010)",   // own process, not interactive
       }) {
    EXPECT_NE(values.find(value), std::string::npos) << value << " in\n" << values;
  }
  for (const char* absent : {"DependOnService", "Group", "Tag"}) {
    EXPECT_EQ(values.find(absent), std::string::npos) << values;
  }

  const Outcome again = wine_->Run({kProgram, "/install", "-silent"});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err.rfind("Service \"本地硬件服务\" failed to install with error: \"System "
                            "Error.  Code: 1073.\r\n",
                            0),
            0u)
      << again.err;
}

TEST_F(ServiceUnderWine, AnswersEachCommandWithTheExactHeaderBlock) {
  ASSERT_TRUE(booted_) << "the service did not start listening";
  const std::string photo = zetsim::Base64Encode(
      ReadFile(fs::path(DUVANE_SOURCE_DIR) / "standin/zetidcard/demo/photo.png"));
  const std::pair<std::string, std::string> cases[] = {
      {"GET /getcardno?callback=cb HTTP/1.1\r\n\r\n",
       "cb({\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardNo\":\"04030201\"})"},
      {"GET /GETCARDSN?x HTTP/1.1\r\n\r\n",
       "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"CardSN\":\"D4C3B2A1\",\"CardType\":"
       "\"8\"}"},
      {"GET /getpid?x HTTP/1.1\r\n\r\n",
       "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"林晓澜\",\"Sex\":\"女\","
       "\"Nation\":\"汉\",\"Address\":\"云岭省青川市梧桐区松涛路十八号\",\"IDCardNo\":"
       "\"99010219900307002X\",\"photo\":\"" +
           photo + "\"}"},
      {"GET /foo?x HTTP/1.1\r\n\r\n",
       "{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字FOO\"}"},
  };
  Client client(kPort);
  ASSERT_TRUE(client.Connected());
  for (const auto& [request, body] : cases) {
    client.Send(request);
    EXPECT_EQ(client.ReadReply(10s), ExpectedReply(body)) << request;
  }
}

// An identity-card library that raises or faults while reading costs the
// request, not the service; one that faults while finding the reader gets
// the request a log line and no reply. The stand-in reads its holder file
// anew for every request.
TEST_F(ServiceUnderWine, LibraryThatRaisesOrFaultsAnswers0103AndTheServiceGoesOn) {
  ASSERT_TRUE(booted_) << "the service did not start listening";
  const fs::path holder = wine_->DriveC() / "duvane" / "ZetIDCardAPI.holder.txt";
  const std::string demo = ReadFile(holder);
  const std::pair<std::string, std::string> cases[] = {
      {"name=x\nreadraises=1\n", "{\"ResultCode\":\"0103\",\"ResultMsg\":\"读取身份证异常\"}"},
      {"name=x\nreadfaults=1\n", "{\"ResultCode\":\"0103\",\"ResultMsg\":\"读取身份证异常\"}"},
      {"name=x\nfindfaults=1\n", ""},
      {"noreader=1\n", "{\"ResultCode\":\"0100\",\"ResultMsg\":\"寻找身份证阅读器失败\"}"},
  };
  Client client(kPort);
  ASSERT_TRUE(client.Connected());
  for (const auto& [contents, body] : cases) {
    std::ofstream(holder, std::ios::binary) << contents;
    client.Send("GET /GETPID?x HTTP/1.1\r\n\r\n");
    if (body.empty()) {
      EXPECT_TRUE(
          LogHas(G("处理数据异常：identity-card library, Zet_FindUSBReader: exception "
                   "0xC0000005")));
      continue;
    }
    EXPECT_EQ(client.ReadReply(10s), ExpectedReply(body)) << contents;
  }
  std::ofstream(holder, std::ios::binary) << demo;
}

// In the root of drive C (the log's place), and the same lines as the Linux
// build gives.
TEST_F(ServiceUnderWine, DailyLogIsInTheRootOfDriveCInGbkWithCrLf) {
  ASSERT_TRUE(booted_);
  testsupport::ExpectEveryStepLogged(*service_, {G("服务侦听开始启动"), G("打开370读卡器成功！")});
}

TEST_F(ServiceUnderWine, CleanCloseGivesOnlyTheDisconnectLineWithItsSocket) {
  ASSERT_TRUE(booted_);
  testsupport::ExpectCleanCloseGivesOnlyTheDisconnectLine(*service_);
}

TEST_F(ServiceUnderWine, ResetGivesTheErrorLineAndNoDisconnectLine) {
  ASSERT_TRUE(booted_);
  testsupport::ExpectResetGivesTheErrorLineAndNoDisconnectLine(*service_);
}

// A client with a small receive buffer that reads its replies slowly gets
// every one whole and in order.
TEST_F(ServiceUnderWine, SlowReaderGetsEveryReplyWholeAndInOrder) {
  ASSERT_TRUE(booted_);
  constexpr int kRequests = 120;
  Client client(kPort, 4096);
  ASSERT_TRUE(client.Connected());
  std::string expected;
  for (int i = 0; i < kRequests; ++i) {
    // The unknown command word comes back upper-cased in the body: a long reply.
    expected += ExpectedReply("{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字SLOW" +
                              std::to_string(i) + std::string(9000, 'P') + "\"}");
  }
  std::string received;
  std::thread reader([&] {
    char chunk[2048];
    timeval wait{10, 0};
    setsockopt(client.Fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    while (received.size() < expected.size()) {
      const ssize_t n = recv(client.Fd(), chunk, sizeof chunk, 0);
      if (n <= 0) break;
      received.append(chunk, static_cast<size_t>(n));
      std::this_thread::sleep_for(1ms);
    }
  });
  bool asked = true;
  for (int i = 0; i < kRequests && asked; ++i) {
    // One request a read event: requests that arrive together get one reply.
    client.Send("GET /slow" + std::to_string(i) + std::string(9000, 'p') + "?x HTTP/1.1\r\n\r\n");
    asked = LogHas("strCMD:SLOW" + std::to_string(i) + "P");
    EXPECT_TRUE(asked) << "request " << i;
  }
  reader.join();
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected);
}

TEST_F(ServiceUnderWine, PausedServiceServesNothingUntilContinued) {
  ASSERT_TRUE(booted_);
  testsupport::ExpectPauseHoldsConnectionsUntilContinue(
      *service_, [] { EXPECT_EQ(service_->Control("interrogate"), "PAUSED"); });
}

// Every status report of the service's life so far, each as its type,
// state, accepted controls, exit codes and wait hint, as Wine traced them.
std::vector<std::string> StatusReports(const std::string& trace) {
  // The thread that registers the control handler makes the first report,
  // which shows the handle that every report of the service carries.
  const size_t registered = trace.find("RegisterServiceCtrlHandlerExW L\"DuvaneS\"");
  if (registered == std::string::npos) return {};
  const size_t lineStart = trace.rfind('\n', registered) + 1;
  const std::string report = ":trace:service:SetServiceStatus ";
  const std::string thread = trace.substr(lineStart, trace.find(':', lineStart) - lineStart);
  const size_t first = trace.find("\n" + thread + report, registered);
  if (first == std::string::npos) return {};
  std::string handle;
  std::istringstream(trace.substr(first + 1 + thread.size() + report.size())) >> handle;
  std::vector<std::string> reports;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(report + handle + " ");
    if (at == std::string::npos) continue;
    std::string type, state, accepted, exitCode, ownExitCode, checkpoint, waitHint;
    std::istringstream(line.substr(at + report.size() + handle.size())) >> type >> state >>
        accepted >> exitCode >> ownExitCode >> checkpoint >> waitHint;
    reports.push_back(type + " " + state + " " + accepted + " " + exitCode + " " + ownExitCode +
                      " " + waitHint);
  }
  return reports;
}

TEST_F(ServiceUnderWine, StopRunsTheStopSequenceAndUninstallRemovesTheService) {
  ASSERT_TRUE(booted_);
  EXPECT_TRUE(service_->Stop());
  ASSERT_TRUE(LogHas(G("服务侦听停止")));
  const std::string log = Log();
  EXPECT_EQ(log.substr(log.size() - 14), G("服务侦听停止\r\n"));
  EXPECT_NE(wine_->Run({"sc", "query", "DuvaneS"}).out.find("STOPPED"), std::string::npos);
  // Own process; no control accepted while the start is pending, then stop,
  // pause and continue, shutdown (7); 5000 ms (0x1388) with every pending
  // state; exit codes 0.
  const std::vector<std::string> reports = {
      "0x10 0x2 0 0 0 0x1388",    // start pending, from the service entry
      "0x10 0x2 0 0 0 0x1388",    // start pending, from the service thread
      "0x10 0x4 0x7 0 0 0",       // running
      "0x10 0x6 0x7 0 0 0x1388",  // pause pending
      "0x10 0x7 0x7 0 0 0",       // paused
      "0x10 0x7 0x7 0 0 0",       // interrogated while paused
      "0x10 0x5 0x7 0 0 0x1388",  // continue pending
      "0x10 0x4 0x7 0 0 0",       // running
      "0x10 0x3 0x7 0 0 0x1388",  // stop pending
      "0x10 0x1 0x7 0 0 0",       // stopped
  };
  EXPECT_EQ(StatusReports(wine_->ServiceTrace()), reports);

  const Outcome removed = wine_->Run({kProgram, "-UNINSTALL"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.out, "Service uninstalled successfully\n");
  const Outcome again = wine_->Run({kProgram, "-uninstall"});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.err.rfind("Service \"本地硬件服务\" failed to uninstall with error: \"System "
                            "Error.  Code: 1060.\r\n",
                            0),
            0u)
      << again.err;
}

// Started by hand, the program cannot reach the service control manager: it
// says so in the event log, under the name of its file, and ends. Typed
// without ".exe" in a console, the command is not the file's name.
TEST_F(ServiceUnderWine, RunByHandWritesTheDispatcherFailureToTheEventLogAndEnds) {
  const Outcome run = wine_->Run({"cmd", "/c", "cd /d C:\\duvane & SDuvane"}, 60s,
                                 "-all,err+eventlog,fixme+advapi");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("RegisterEventSourceW ((null),L\"SDuvane.exe\")"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("err:eventlog:ReportEventW"), std::string::npos) << run.err;
}

}  // namespace
