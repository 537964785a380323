// "GETPID" of the Windows build under Wine, with the identity-card stand-in
// DLL beside this program: the library's calls run on a guarded thread of
// their own in this process, as in the service. And the guard's filter:
// nested and concurrent guarded calls leave the filter that was in place
// before them to every other thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_manager.h"
#include "platform/windows/fault_guard.h"
#include "service/idcard/get_pid_command.h"
#include "service/request_handler.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::vector<std::pair<std::string, std::string>> gSystemLog;

// The filter in place before the guard's first use: it lets continuable
// exceptions of this code go on and counts them.
constexpr DWORD kContinuable = 0xE0A1D002;
std::atomic<int> gOriginalFilterCalls{0};
LPTOP_LEVEL_EXCEPTION_FILTER gRuntimeFilter = nullptr;

LONG WINAPI OriginalFilter(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != kContinuable) {
    return gRuntimeFilter != nullptr ? gRuntimeFilter(info) : EXCEPTION_CONTINUE_SEARCH;
  }
  ++gOriginalFilterCalls;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Before main, so before the first guarded call of this program.
const bool gOriginalInPlace = [] {
  gRuntimeFilter = SetUnhandledExceptionFilter(OriginalFilter);
  return true;
}();

}  // namespace

namespace duvane::platform {

void WriteSystemLogError(std::string_view source, std::string_view message) {
  gSystemLog.emplace_back(std::string(source), std::string(message));
}

}  // namespace duvane::platform

namespace {

void NoTone(uint32_t, uint32_t) {}

template <typename F>
bool Eventually(F condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    Sleep(10);
  }
  return false;
}

// A folder of its own with the holder file that the stand-in reads at every
// reader look-up, and its call log.
class IdCardUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("getpid-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    _putenv_s("ZETIDCARD_SIM", (folder_ / "holder.txt").string().c_str());
    _putenv_s("ZETIDCARD_CALLLOG", (folder_ / "calls.log").string().c_str());
    gSystemLog.clear();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void UseHolder(const std::string& contents) {
    std::ofstream(folder_ / "holder.txt", std::ios::binary) << contents;
  }
  size_t Calls() const {
    std::ifstream in(folder_ / "calls.log");
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }

  fs::path folder_;
};

std::string CodeOf(const duvane::ReplyBody& body) { return body.Members().at(0).second; }

// A fault or an exception in any step, or a hang, costs that one request and
// is written to the event log with its code and step; a card read answers
// "0103", a failed reader look-up is the request's own failure (no reply).
// Every case is followed by a working read. A hung call goes on by itself:
// until it returns, reads answer at once without calling the library. After
// a stack overflow the guard page is back, so a second one is caught too.
// All calls run on one thread, where the stand-in's own lock, a critical
// section that a fault left taken, can be taken again.
TEST_F(IdCardUnderWine, LibraryThatFailsCostsOneRequestAndIsLogged) {
  const std::string hung =
      "did not return within 2000 ms; the call goes on by itself, and until it returns the "
      "library is not called again";
  const std::string overflow = "exception 0xC00000FD (stack overflow); its guard page is restored";
  const struct {
    const char* switches;
    const char* step;
    std::string ending;
  } cases[] = {
      {"findfaults", "Zet_FindUSBReader", "exception 0xC0000005"},
      {"findraises", "Zet_FindUSBReader", "exception 0xE0A1D001"},
      {"openfaults", "Zet_OpenPort", "exception 0xC0000005"},
      {"openraises", "Zet_OpenPort", "exception 0xE0A1D001"},
      {"readfaults", "Zet_ReadMsg", "exception 0xC0000005"},
      {"readraises", "Zet_ReadMsg", "exception 0xE0A1D001"},
      {"photofaults", "Zet_PhotoToStrBase64", "exception 0xC0000005"},
      {"photoraises", "Zet_PhotoToStrBase64", "exception 0xE0A1D001"},
      {"readhangs", "Zet_ReadMsg", hung},
      {"readoverflows", "Zet_ReadMsg", overflow},
      {"readoverflows", "Zet_ReadMsg", overflow},
      {"readlockfaults", "Zet_ReadMsg", "exception 0xC0000005"},
  };
  duvane::IdCardLibrary library(duvane::IdCardSettings{.callBound = 2s});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.switches);
    UseHolder(std::string("name=x\n") + c.switches + "=1\n");
    gSystemLog.clear();

    if (std::string(c.step) == "Zet_FindUSBReader") {
      EXPECT_THROW(duvane::GetPidCommand(library, NoTone), duvane::ServiceError);
    } else {
      EXPECT_EQ(CodeOf(duvane::GetPidCommand(library, NoTone)), "0103");
    }
    const std::string logged = "identity-card library, " + std::string(c.step) + ": " + c.ending;
    ASSERT_EQ(gSystemLog.size(), 1u);
    EXPECT_EQ(gSystemLog[0].first, "DuvaneS");
    EXPECT_EQ(gSystemLog[0].second, logged);

    if (c.ending == hung) {
      const size_t calls = Calls();
      EXPECT_EQ(CodeOf(duvane::GetPidCommand(library, NoTone)), "0103");
      EXPECT_EQ(Calls(), calls) << "the library was called while busy";
      UseHolder("name=x\n");  // the hang ends
      EXPECT_TRUE(
          Eventually([&] { return CodeOf(duvane::GetPidCommand(library, NoTone)) == "0000"; }));
    } else {
      UseHolder("name=x\n");
      EXPECT_EQ(CodeOf(duvane::GetPidCommand(library, NoTone)), "0000");
    }
  }
}

void TouchesUnmappedMemory(void*) {
  volatile std::uintptr_t address = 16;
  *reinterpret_cast<volatile int32_t*>(address) = 0;
}

struct Nested {
  bool innerCompleted = true;
  uint32_t innerCode = 0;
};

// A guarded call inside a guarded call, whose own fault comes after the inner
// call ended.
void FaultsAfterAGuardedFault(void* context) {
  Nested& nested = *static_cast<Nested*>(context);
  nested.innerCompleted =
      duvane::platform::RunGuardingFaults(TouchesUnmappedMemory, nullptr, nested.innerCode);
  TouchesUnmappedMemory(nullptr);
}

TEST(FaultGuardUnderWine, NestedAndConcurrentGuardsLeaveOtherThreadsToTheOriginalFilter) {
  ASSERT_TRUE(gOriginalInPlace);
  std::vector<std::thread> threads;
  std::atomic<int> caught{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&caught] {
      for (int i = 0; i < 25; ++i) {
        Nested nested;
        uint32_t code = 0;
        const bool completed =
            duvane::platform::RunGuardingFaults(FaultsAfterAGuardedFault, &nested, code);
        if (!completed && code == 0xC0000005 && !nested.innerCompleted &&
            nested.innerCode == 0xC0000005) {
          ++caught;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(caught, 100);

  // A thread outside any guarded call: its exception goes to the filter
  // that was in place before the first guarded call, and goes on from there.
  const int before = gOriginalFilterCalls;
  std::thread([] { RaiseException(kContinuable, 0, 0, nullptr); }).join();
  EXPECT_EQ(gOriginalFilterCalls, before + 1);
}

}  // namespace
