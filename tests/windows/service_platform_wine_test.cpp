// The service's platform layer of the Windows build, under Wine: the reader
// library is loaded from the program's own folder only, text is converted
// and upper-cased with code page 936 whatever the workstation's locale, the
// log's time separator is the regional settings' one, a taken port gives
// the bind error of the start log, replies are kept unsent up to the
// bound only, a loop paused out of descriptors rests, and a fault in
// guarded code ends the call, not the program.
#include <gtest/gtest.h>
#include <winsock2.h>
// winsock2.h first: windows.h would bring the old winsock.h.
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/dynamic_library.h"
#include "platform/host.h"
#include "platform/windows/fault_guard.h"
#include "platform/windows/wide_text.h"
#include "service/ansi_text.h"
#include "service/event_loop/event_loop.h"
#include "tests/service/broken_utf8_cases.h"

namespace {

using namespace duvane;
using namespace duvane::platform;

// This program runs from test-bin/; the shipped files are in bin/ beside it.
std::string ShippedFolder() { return ExecutableFolder() + "\\..\\bin"; }

// A copy of Velmora.dll under `name` in this program's folder, removed again
// at the end of the test.
class CopyBesideProgram {
 public:
  explicit CopyBesideProgram(const std::string& name) : path_(ExecutableFolder() + "\\" + name) {
    copied_ = CopyFileA((ShippedFolder() + "\\Velmora.dll").c_str(), path_.c_str(), FALSE) != 0;
  }
  ~CopyBesideProgram() { DeleteFileA(path_.c_str()); }
  bool Copied() const { return copied_; }

 private:
  std::string path_;
  bool copied_ = false;
};

TEST(ServicePlatformUnderWine, LibraryPlantedInTheCurrentFolderOrOnPathIsNotLoaded) {
  const std::string shipped = ShippedFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(shipped.c_str()));
  char path[32768] = {};
  GetEnvironmentVariableA("PATH", path, sizeof path);
  SetEnvironmentVariableA("PATH", (shipped + ";" + path).c_str());
  const LoadedLibrary planted = LoadDynamicLibrary("Velmora.dll");
  EXPECT_EQ(planted.handle, nullptr);
  EXPECT_FALSE(planted.error.empty());
}

TEST(ServicePlatformUnderWine, LibraryBesideTheProgramIsLoadedAndUnloaded) {
  CopyBesideProgram copy("VelmoraBeside.dll");
  ASSERT_TRUE(copy.Copied());
  const LoadedLibrary loaded = LoadDynamicLibrary("VelmoraBeside.dll");
  ASSERT_NE(loaded.handle, nullptr) << loaded.error;
  EXPECT_NE(FindSymbol(loaded.handle, "ReadCard_Init"), nullptr);
  EXPECT_EQ(FindSymbol(loaded.handle, "ReadCard_Init@8"), nullptr);
  EXPECT_EQ(UnloadDynamicLibrary(loaded.handle), "");
}

TEST(ServicePlatformUnderWine, TextIsConvertedWithCodePage936) {
  const struct {
    std::string utf8;
    std::string gbk;
  } cases[] = {
      {"本地硬件服务", "\xB1\xBE\xB5\xD8\xD3\xB2\xBC\xFE\xB7\xFE\xCE\xF1"},
      {"GET /x?y", "GET /x?y"},
      {"", ""},
  };
  for (const auto& [utf8, gbk] : cases) {
    EXPECT_EQ(Utf8ToAnsi(utf8), gbk) << utf8;
    EXPECT_EQ(AnsiToUtf8(gbk), utf8) << utf8;
  }
  // The Linux build runs the same table.
  for (const auto& [utf8, gbk] : duvane::testcases::kBrokenUtf8Cases) {
    EXPECT_EQ(Utf8ToAnsi(utf8), gbk) << testing::PrintToString(utf8);
  }
}

// The same cases as the Linux build's, so both upper-case alike.
TEST(ServicePlatformUnderWine, CommandWordIsUpperCasedWhereCodePage936HasTheForm) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"getPid", "GETPID"},
      {Utf8ToAnsi("ｇαаx"), Utf8ToAnsi("ＧΑАX")},  // fullwidth g, Greek alpha, Cyrillic a
      {Utf8ToAnsi("ωёⅰ"), Utf8ToAnsi("ΩЁⅠ")},
      {Utf8ToAnsi("读卡abc"), Utf8ToAnsi("读卡ABC")},
      {Utf8ToAnsi("āü"), Utf8ToAnsi("āü")},  // upper-case forms missing from the code page
      {"\x81\x61x", "\x81\x61X"},            // a trail byte that looks like "a"
      {"a\x81", "A\x81"},                    // a lead byte without its trail byte
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UpperCaseAnsi(in), out) << in;
}

TEST(ServicePlatformUnderWine, TimeSeparatorIsTheOneOfTheRegionalSettings) {
  wchar_t before[8] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, before, 8);
  ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L"."));
  const std::string separator = TimeSeparator();
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, before);
  EXPECT_EQ(separator, ".");
}

TEST(ServicePlatformUnderWine, TakenPortGivesTheBindErrorWithItsWindowsSocketsNumber) {
  struct NoHandler final : ConnectionHandler {
    void OnClientConnect(Connection&) override {}
    void OnClientRead(Connection&, std::string_view) override {}
    void OnClientDisconnect(Connection&) override {}
    void OnClientError(Connection&, SocketErrorKind, int&) override {}
  } handler;
  auto owner = EventLoop::Create([](const std::string&) {});
  auto late = EventLoop::Create([](const std::string&) {});
  std::string error;
  ASSERT_TRUE(owner->Activate(0, 5, handler, error)) << error;
  EXPECT_FALSE(late->Activate(owner->LocalPort(), 5, handler, error));
  EXPECT_FALSE(late->Active());
  const std::string message = windows::FromWide(windows::SystemMessage(10048), windows::kGbk);
  EXPECT_EQ(error, "Windows socket error: " + message + " (10048), on API 'bind'");
}

// A client that never reads: its replies are kept up to the bound, then the
// connection is closed as a failed send.
TEST(ServicePlatformUnderWine, UnsentRepliesPastTheBoundCloseTheConnection) {
  struct Recorder final : ConnectionHandler {
    std::vector<std::string> events;
    void OnClientConnect(Connection& c) override {
      events.push_back("connect");
      const std::string reply(64 * 1024, 'r');
      // More than the bound beyond what the system buffers (a few MiB).
      for (int i = 0; i < 160 && c.Connected(); ++i) c.Send(reply);
    }
    void OnClientRead(Connection&, std::string_view) override {}
    void OnClientDisconnect(Connection&) override { events.push_back("disconnect"); }
    void OnClientError(Connection&, SocketErrorKind kind, int& code) override {
      events.push_back((kind == SocketErrorKind::Send ? "send " : "other ") + std::to_string(code));
      code = 0;
    }
  } handler;
  auto loop = EventLoop::Create([](const std::string&) {});
  std::string error;
  ASSERT_TRUE(loop->Activate(0, 5, handler, error)) << error;
  const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const int small = 4096;
  setsockopt(client, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(loop->LocalPort());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // The connection waits in the backlog until the loop runs; 10 s at most.
  int ticks = 0;
  loop->CallEvery(std::chrono::milliseconds(100), [&] {
    if (handler.events.size() >= 3 || ++ticks == 100) loop->Quit();
  });
  loop->Run();
  closesocket(client);
  EXPECT_EQ(handler.events, (std::vector<std::string>{"connect", "send 10055", "disconnect"}));
}

// Waits up to 10 s for `condition`.
template <typename F>
bool Eventually(F condition) {
  for (int tries = 0; tries < 2000; ++tries, Sleep(5)) {
    if (condition()) return true;
  }
  return false;
}

std::chrono::milliseconds ProcessCpu() {
  FILETIME created{}, ended{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PrivateUsage;
}

// Out of descriptors, the listener cannot take a waiting connection; paused
// then, the loop neither tries again and again nor piles anything up, and
// after continue the connection is taken.
TEST(ServicePlatformUnderWine, PausedWithDescriptorsExhaustedSpendsNoCpuAndNoMemory) {
  struct Counter final : ConnectionHandler {
    std::atomic<int> connects = 0;
    void OnClientConnect(Connection&) override { ++connects; }
    void OnClientRead(Connection&, std::string_view) override {}
    void OnClientDisconnect(Connection&) override {}
    void OnClientError(Connection&, SocketErrorKind, int& code) override { code = 0; }
  } handler;
  std::atomic<bool> acceptFailed = false;
  auto loop = EventLoop::Create([&](const std::string& message) {
    if (message.find("on API 'accept'") != std::string::npos) acceptFailed = true;
  });
  std::string error;
  ASSERT_TRUE(loop->Activate(0, 5, handler, error)) << error;
  std::thread runner([&] { loop->Run(); });
  const auto onLoop = [&](std::function<void()> task) {
    std::atomic<bool> done = false;
    loop->Post([&] {
      task();
      done = true;
    });
    return Eventually([&] { return done.load(); });
  };

  // Every socket the system still gives, but one for the client.
  std::vector<SOCKET> taken;
  for (SOCKET s; (s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) != INVALID_SOCKET;) {
    taken.push_back(s);
  }
  closesocket(taken.back());
  taken.pop_back();
  const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(loop->LocalPort());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_TRUE(Eventually([&] { return acceptFailed.load(); }));

  ASSERT_TRUE(onLoop([&] { loop->SetPaused(true); }));
  // A measuring window, not a wait for an event.
  const auto cpuBefore = ProcessCpu();
  const size_t memoryBefore = PrivateBytes();
  Sleep(1000);
  EXPECT_LT(ProcessCpu() - cpuBefore, std::chrono::milliseconds(50));
  EXPECT_LT(PrivateBytes(), memoryBefore + 64 * 1024);
  EXPECT_TRUE(onLoop([&] { loop->SetPaused(false); }));

  for (SOCKET s : taken) closesocket(s);
  EXPECT_TRUE(Eventually([&] { return handler.connects == 1; }));
  loop->Post([&] { loop->Quit(); });
  runner.join();
  closesocket(client);
}

void Returns(void*) {}
void TouchesUnmappedMemory(void*) {
  volatile std::uintptr_t address = 16;
  *reinterpret_cast<volatile int32_t*>(address) = 0;
}
void DividesByZero(void* context) {
  volatile int32_t zero = *static_cast<int32_t*>(context);
  *static_cast<int32_t*>(context) = 1000 / zero;
}
void RaisesAnException(void*) { RaiseException(0xE0A1D001, EXCEPTION_NONCONTINUABLE, 0, nullptr); }
// A fault that the code handles itself is none of the guard's business.
void ProbesMemoryUnderItsOwnHandler(void* context) {
  *static_cast<int32_t*>(context) = IsBadReadPtr(reinterpret_cast<void*>(16), 4) ? 0 : 1;
}
void Throws(void*) { throw std::runtime_error("thrown"); }

// Twice each, so an ended call leaves the guard as usable as before.
TEST(ServicePlatformUnderWine, FaultInGuardedCodeEndsTheCallNotTheProgram) {
  const struct {
    void (*work)(void*);
    uint32_t code;  // 0: the call completes
  } cases[] = {{Returns, 0},
               {TouchesUnmappedMemory, 0xC0000005},
               {DividesByZero, 0xC0000094},
               {RaisesAnException, 0xE0A1D001},
               {ProbesMemoryUnderItsOwnHandler, 0}};
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      int32_t zero = 0;
      uint32_t code = 0;
      EXPECT_EQ(RunGuardingFaults(c.work, &zero, code), c.code == 0);
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(zero, 0);
    }
    uint32_t code = 0;
    EXPECT_THROW(RunGuardingFaults(Throws, nullptr, code), std::runtime_error);
  }
}

}  // namespace
