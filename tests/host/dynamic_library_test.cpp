#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "platform/host.h"

namespace {

using namespace duvane::platform;

TEST(HostDynamicLibrary, BareNameIsFoundBesideTheProgram) {
  // The stand-ins exist only in the test programs' folder.
  const LoadedLibrary loaded = LoadDynamicLibrary(hosttest::StubLibrary("no_halt"));
  ASSERT_NE(loaded.handle, nullptr) << loaded.error;
  EXPECT_EQ(loaded.error, "");
  EXPECT_NE(FindSymbol(loaded.handle, "ReadCard_Init"), nullptr);
  EXPECT_EQ(FindSymbol(loaded.handle, "Card_Halt"), nullptr);
  EXPECT_EQ(UnloadDynamicLibrary(loaded.handle), "");

  const std::string besideProgram = ExecutableFolder() + "/" + hosttest::StubLibrary("no_halt");
  EXPECT_EQ(::dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
}

TEST(HostDynamicLibrary, BareNameFallsBackToTheSystemSearch) {
  const LoadedLibrary loaded = LoadDynamicLibrary("libm.so.6");
  ASSERT_NE(loaded.handle, nullptr) << loaded.error;
  EXPECT_NE(FindSymbol(loaded.handle, "cos"), nullptr);
  EXPECT_EQ(UnloadDynamicLibrary(loaded.handle), "");
}

TEST(HostDynamicLibrary, FailuresComeBackAsMessages) {
  const LoadedLibrary missing = LoadDynamicLibrary("libno_such_duvane_library.so");
  EXPECT_EQ(missing.handle, nullptr);
  EXPECT_NE(missing.error.find("libno_such_duvane_library.so"), std::string::npos) << missing.error;

  hosttest::TempFolder folder;
  const std::string junk = folder.File("libjunk.so");
  std::ofstream(junk) << "not a library";
  const LoadedLibrary broken = LoadDynamicLibrary(junk);
  EXPECT_EQ(broken.handle, nullptr);
  EXPECT_NE(broken.error, "");

  EXPECT_EQ(LoadDynamicLibrary("").handle, nullptr);
  EXPECT_EQ(FindSymbol(nullptr, "ReadCard_Init"), nullptr);
  EXPECT_NE(UnloadDynamicLibrary(nullptr), "");
}

}  // namespace
