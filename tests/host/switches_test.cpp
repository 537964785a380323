#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "service/command_line.h"

namespace {

duvane::CommandLineSwitches Parse(std::initializer_list<const char*> arguments) {
  std::vector<const char*> argv{"/usr/local/bin/SDuvane"};
  argv.insert(argv.end(), arguments);
  return duvane::ParseSwitches(static_cast<int>(argv.size()), argv.data());
}

TEST(HostSwitches, InstallWithSlashOrDashInAnyCase) {
  for (const char* written : {"/install", "-install", "/INSTALL", "-InStAlL"}) {
    const auto switches = Parse({written});
    EXPECT_TRUE(switches.install) << written;
    EXPECT_FALSE(switches.uninstall) << written;
    EXPECT_FALSE(switches.silent) << written;
  }
}

TEST(HostSwitches, OtherSpellingsRunTheService) {
  for (const char* written : {"--install", "install", "/install2", "/", "-", "", "/instal"}) {
    const auto switches = Parse({written});
    EXPECT_FALSE(switches.install || switches.uninstall) << '"' << written << '"';
  }
  const auto none = Parse({});
  EXPECT_FALSE(none.install || none.uninstall || none.silent);
}

TEST(HostSwitches, ProgramNameIsNotASwitch) {
  const char* argv[] = {"-install"};
  EXPECT_FALSE(duvane::ParseSwitches(1, argv).install);
}

TEST(HostSwitches, InstallIsLookedForFirst) {
  for (auto arguments : {Parse({"/uninstall", "/install"}), Parse({"-INSTALL", "-UNINSTALL"})}) {
    EXPECT_TRUE(arguments.install);
    EXPECT_FALSE(arguments.uninstall);
  }
}

TEST(HostSwitches, SilentGoesWithEitherAndAloneRunsTheService) {
  const auto uninstall = Parse({"-Silent", "/UnInstall"});
  EXPECT_TRUE(uninstall.uninstall && uninstall.silent);
  const auto install = Parse({"/install", "/silent"});
  EXPECT_TRUE(install.install && install.silent);
  const auto alone = Parse({"/silent"});
  EXPECT_TRUE(alone.silent);
  EXPECT_FALSE(alone.install || alone.uninstall);
}

}  // namespace
