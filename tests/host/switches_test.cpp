#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/command_line.h"

namespace {

// A switch is "/" or "-" and its word in any case; other spellings run the
// service. Install is looked for first, and silent goes with either (alone
// it runs the service).
TEST(HostSwitches, SwitchesAreReadInAnyCaseAndInstallFirst) {
  using Arguments = std::vector<const char*>;
  const struct {
    Arguments arguments;
    bool install, uninstall, silent;
  } cases[] = {
      {{"/install"}, true, false, false},
      {{"-install"}, true, false, false},
      {{"/INSTALL"}, true, false, false},
      {{"-InStAlL"}, true, false, false},
      {{"--install"}, false, false, false},
      {{"install"}, false, false, false},
      {{"/install2"}, false, false, false},
      {{"/"}, false, false, false},
      {{"-"}, false, false, false},
      {{""}, false, false, false},
      {{"/instal"}, false, false, false},
      {{}, false, false, false},
      {{"/uninstall", "/install"}, true, false, false},
      {{"-INSTALL", "-UNINSTALL"}, true, false, false},
      {{"-Silent", "/UnInstall"}, false, true, true},
      {{"/install", "/silent"}, true, false, true},
      {{"/silent"}, false, false, true},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"/usr/local/bin/SDuvane"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    const auto switches = duvane::ParseSwitches(static_cast<int>(argv.size()), argv.data());
    const std::string line = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(switches.install, c.install) << line;
    EXPECT_EQ(switches.uninstall, c.uninstall) << line;
    EXPECT_EQ(switches.silent, c.silent) << line;
  }
}

TEST(HostSwitches, ProgramNameIsNotASwitch) {
  const char* argv[] = {"-install"};
  EXPECT_FALSE(duvane::ParseSwitches(1, argv).install);
}

}  // namespace
