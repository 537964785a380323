#include "service/reader_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "platform/host.h"
#include "service/ansi_text.h"

namespace {

using duvane::Ansi;
using Lines = std::vector<std::string>;

struct Binding {
  explicit Binding(const std::string& fileName) : library(fileName) {}
  ~Binding() { library.Unbind(); }  // tests that look for the unload need a clean start
  hosttest::LogFolder log;
  hosttest::StubCalls calls;
  duvane::ReaderLibrary library;
};

// The stand-in lacking Card_Halt, which the service does not look up, is
// complete. What ReadCard_Init returns decides the open; stop closes only a
// reader that opened, and logs nothing.
TEST(HostReaderLibrary, ReadCardInitDecidesTheOpenAndStopClosesOnlyAnOpenReader) {
  const struct {
    const char* variant;
    const char* message;
    uint32_t handle;
    Lines callsAfterStop;
  } cases[] = {
      {"no_halt", "打开370读卡器成功！", 7u, {"ReadCard_Init 0 0", "ReadCard_Exit 7"}},
      {"init_zero", "打开370读卡器失败！", 0u, {"ReadCard_Init 0 0"}},
      {"init_negative",
       "打开370读卡器成功！",
       0x8010000Cu,
       {"ReadCard_Init 0 0", "ReadCard_Exit -2146435060"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variant);
    Binding binding(hosttest::StubLibrary(c.variant));
    binding.library.Bind(binding.log.Log());
    EXPECT_EQ(binding.log.Messages(), Lines{Ansi(c.message)});
    EXPECT_EQ(binding.calls.Calls(), Lines{"ReadCard_Init 0 0"});
    EXPECT_EQ(binding.library.ReaderHandle(), c.handle);
    binding.library.Unbind();
    EXPECT_EQ(binding.calls.Calls(), c.callsAfterStop);
    EXPECT_EQ(binding.log.Messages().size(), 1u);
  }
}

TEST(HostReaderLibrary, CompleteLibraryIsBoundWholeAndUnloadedAtStop) {
  Binding binding(hosttest::StubLibrary("no_halt"));
  binding.library.Bind(binding.log.Log());
  EXPECT_NE(binding.library.LibraryHandle(), nullptr);
  for (std::string_view name : duvane::kReaderEntryPointNames) {
    EXPECT_NE(binding.library.EntryPoint(name), nullptr) << name;
  }
  binding.library.Unbind();
  const std::string path =
      duvane::platform::ExecutableFolder() + "/" + hosttest::StubLibrary("no_halt");
  EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
  EXPECT_EQ(binding.library.LibraryHandle(), nullptr);
  EXPECT_EQ(binding.library.ReadCardInit(), nullptr);
}

TEST(HostReaderLibrary, MissingFileIsLoggedAndNothingIsCalled) {
  Binding binding("libVelmora_not_there.so");
  binding.library.Bind(binding.log.Log());
  EXPECT_EQ(binding.log.Messages(), Lines{Ansi("加载动态库失败")});
  EXPECT_EQ(binding.library.LibraryHandle(), nullptr);
  EXPECT_FALSE(binding.library.OpenReaderIfClosed(binding.log.Log()));
  binding.library.Unbind();
  EXPECT_EQ(binding.log.Messages().size(), 1u);
}

TEST(HostReaderLibrary, LackingOneNameLeavesTheReaderClosed) {
  Binding binding(hosttest::StubLibrary("no_pidsn"));
  binding.library.Bind(binding.log.Log());
  EXPECT_EQ(binding.log.Messages(), Lines{Ansi("动态库函数不完整")});
  EXPECT_EQ(binding.calls.Calls(), Lines{});
  EXPECT_NE(binding.library.LibraryHandle(), nullptr);
  EXPECT_EQ(binding.library.ReaderHandle(), 0u);
  EXPECT_EQ(binding.library.EntryPoint("GetPIDSN"), nullptr);
  EXPECT_NE(binding.library.ReadCardInit(), nullptr);

  binding.library.Unbind();  // never opened: no ReadCard_Exit
  EXPECT_EQ(binding.calls.Calls(), Lines{});
}

TEST(HostReaderLibrary, EveryNameIsLookedUpAfterAMissingOne) {
  Binding binding(hosttest::StubLibrary("no_init"));
  binding.library.Bind(binding.log.Log());
  EXPECT_EQ(binding.log.Messages(), Lines{Ansi("动态库函数不完整")});
  EXPECT_EQ(binding.library.ReadCardInit(), nullptr);
  EXPECT_NE(binding.library.EntryPoint("GetPIDSN"), nullptr);
  EXPECT_FALSE(binding.library.OpenReaderIfClosed(binding.log.Log()));
  EXPECT_EQ(binding.log.Messages().size(), 1u);
}

TEST(HostReaderLibrary, ReaderOpenedLaterIsNotClosedThroughAMissingExit) {
  Binding binding(hosttest::StubLibrary("no_exit"));
  binding.library.Bind(binding.log.Log());
  EXPECT_EQ(binding.log.Messages(), Lines{Ansi("动态库函数不完整")});
  EXPECT_TRUE(binding.library.OpenReaderIfClosed(binding.log.Log()));
  EXPECT_EQ(binding.log.Messages().back(), Ansi("打开370读卡器成功！"));
  binding.library.Unbind();
  EXPECT_EQ(binding.calls.Calls(), Lines{"ReadCard_Init 0 0"});
}

}  // namespace
