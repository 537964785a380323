#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "platform/linux/systemd.h"
#include "service/command_line.h"
#include "service/service_identity.h"

namespace {

using duvane::platform::SystemctlRunner;
using hosttest::ReadFile;
using hosttest::TempFolder;

constexpr const char* kProgram = "/usr/local/bin/SDuvane";

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string DuvaneUnitText(const std::string& programPath) {
  return duvane::platform::UnitFileText(
      {std::string(duvane::kServiceName), std::string(duvane::kServiceDisplayName), programPath});
}

duvane::CommandLineSwitches Install(bool silent = false) { return {true, false, silent}; }
duvane::CommandLineSwitches Uninstall(bool silent = false) { return {false, true, silent}; }

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// The unit folder, with `systemctl` as the running systemd (none: empty).
struct Manager {
  std::string unitFolder;
  SystemctlRunner systemctl;
};

Outcome Registration(const duvane::CommandLineSwitches& switches, const Manager& manager,
                     const std::string& program = kProgram) {
  std::ostringstream out, err;
  const auto registry = duvane::platform::SystemdRegistry(manager.unitFolder, manager.systemctl);
  const int status = duvane::RunRegistration(switches, *registry, program, out, err);
  return {status, out.str(), err.str()};
}

TEST(HostUnitFile, ShippedFileIsTheGeneratedOne) {
  EXPECT_EQ(ReadFile(HOST_SHIPPED_UNIT_FILE), DuvaneUnitText("/usr/lib/duvane/SDuvane"));
}

TEST(HostUnitFile, TellsSystemdHowToRunTheService) {
  const std::string text = DuvaneUnitText(kProgram);
  for (const char* line : {"Description=本地硬件服务\n", "ExecStart=/usr/local/bin/SDuvane\n",
                           "Type=notify\n", "User=root\n", "WantedBy=multi-user.target\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

TEST(HostUnitFile, PathsThatSystemdWouldRewriteAreQuoted) {
  EXPECT_NE(DuvaneUnitText("/opt/my tools/SDuvane").find("ExecStart=\"/opt/my tools/SDuvane\"\n"),
            std::string::npos);
  EXPECT_NE(DuvaneUnitText("/opt/100%/$x\\SDuvane").find(R"(ExecStart="/opt/100%%/$$x\\SDuvane")"),
            std::string::npos);
}

TEST(HostRegistration, InstallWritesTheUnitAndSaysSo) {
  TempFolder units;
  const Outcome outcome = Registration(Install(), {units.Path(), {}});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "Service installed successfully\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(ReadFile(units.File("DuvaneS.service")), DuvaneUnitText(kProgram));
}

TEST(HostRegistration, InstallingTwiceFailsEvenSilentlyAndKeepsTheUnit) {
  TempFolder units;
  ASSERT_EQ(Registration(Install(), {units.Path(), {}}).status, 0);
  const std::string expectedError =
      "Service \"本地硬件服务\" failed to install with error: \"System Error.  Code: 1073.\r\nThe "
      "specified service already "
      "exists.\"\n";
  for (bool silent : {false, true}) {
    const Outcome again = Registration(Install(silent), {units.Path(), {}}, "/elsewhere/SDuvane");
    EXPECT_NE(again.status, 0);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, expectedError);
  }
  EXPECT_EQ(ReadFile(units.File("DuvaneS.service")), DuvaneUnitText(kProgram));
}

TEST(HostRegistration, SilentSuppressesOnlySuccess) {
  TempFolder units;
  const Outcome installed = Registration(Install(true), {units.Path(), {}});
  EXPECT_EQ(installed.status, 0);
  EXPECT_EQ(installed.out + installed.err, "");
  const Outcome removed = Registration(Uninstall(true), {units.Path(), {}});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out + removed.err, "");
  EXPECT_FALSE(Exists(units.File("DuvaneS.service")));
}

TEST(HostRegistration, UninstallRemovesTheUnitThenReportsItMissing) {
  TempFolder units;
  ASSERT_EQ(Registration(Install(), {units.Path(), {}}).status, 0);
  const Outcome removed = Registration(Uninstall(), {units.Path(), {}});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out, "Service uninstalled successfully\n");
  EXPECT_FALSE(Exists(units.File("DuvaneS.service")));

  const Outcome again = Registration(Uninstall(true), {units.Path(), {}});
  EXPECT_NE(again.status, 0);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err,
            "Service \"本地硬件服务\" failed to uninstall with error: \"System Error.  Code: "
            "1060.\r\nThe specified service does "
            "not exist as an installed service.\"\n");
}

// A manager that cannot be reached is the system's error as it stands, not a
// failed install or uninstall, and is told even with "silent".
TEST(HostRegistration, UnreachableManagerIsToldAsTheSystemError) {
  TempFolder units;
  std::ofstream(units.File("file")).put('x');
  const struct {
    std::string folder;
    const char* error;
  } cases[] = {
      {units.File("missing"), "System Error.  Code: 2.\r\nNo such file or directory\n"},
      {units.File("file"), "System Error.  Code: 20.\r\nNot a directory\n"},
  };
  for (const auto& c : cases) {
    for (const auto& switches : {Install(), Uninstall(true)}) {
      const Outcome outcome = Registration(switches, {c.folder, {}});
      EXPECT_EQ(outcome.status, 1) << c.folder;
      EXPECT_EQ(outcome.out, "") << c.folder;
      EXPECT_EQ(outcome.err, c.error) << c.folder;
    }
  }
}

TEST(HostRegistration, UnusableProgramPathFailsWithoutAUnit) {
  TempFolder units;
  for (const char* program : {"", "SDuvane", "/opt/a\nExecStartPre=/bin/evil/SDuvane"}) {
    const Outcome refused = Registration(Install(), {units.Path(), {}}, program);
    EXPECT_NE(refused.status, 0) << program;
    EXPECT_NE(refused.err, "") << program;
    EXPECT_FALSE(Exists(units.File("DuvaneS.service"))) << program;
  }
}

// Records what systemctl was asked, and whether the unit existed at the time.
struct FakeSystemctl {
  std::string unitPath;
  std::string failOn;  // first argument list word that fails, e.g. "enable"
  std::vector<std::string> calls;

  Manager ForFolder(const std::string& folder) {
    return {folder, [this](const std::vector<std::string>& arguments) -> std::string {
              std::string call;
              for (const std::string& word : arguments) call += (call.empty() ? "" : " ") + word;
              calls.push_back(call + (Exists(unitPath) ? " [unit]" : " [no unit]"));
              for (const std::string& word : arguments) {
                if (word == failOn) return "systemctl " + call + " exited with status 1";
              }
              return {};
            }};
  }
};

TEST(HostRegistration, SystemdIsReloadedAndTheUnitEnabledAndDisabled) {
  TempFolder units;
  FakeSystemctl systemctl{units.File("DuvaneS.service"), "", {}};
  ASSERT_EQ(Registration(Install(), systemctl.ForFolder(units.Path())).status, 0);
  ASSERT_EQ(Registration(Uninstall(), systemctl.ForFolder(units.Path())).status, 0);
  EXPECT_EQ(systemctl.calls, (std::vector<std::string>{
                                 "daemon-reload [unit]", "--quiet enable DuvaneS [unit]",
                                 "--quiet disable DuvaneS [unit]", "daemon-reload [no unit]"}));
}

TEST(HostRegistration, RefusedEnableLeavesNothingRegistered) {
  TempFolder units;
  FakeSystemctl systemctl{units.File("DuvaneS.service"), "enable", {}};
  const Outcome outcome = Registration(Install(), systemctl.ForFolder(units.Path()));
  EXPECT_NE(outcome.status, 0);
  EXPECT_EQ(outcome.err,
            "Service \"本地硬件服务\" failed to install with error: \"systemctl --quiet enable "
            "DuvaneS exited with status 1\"\n");
  EXPECT_FALSE(Exists(units.File("DuvaneS.service")));
  EXPECT_EQ(systemctl.calls.back(), "daemon-reload [no unit]");
}

TEST(HostRegistration, RefusedDisableKeepsTheUnit) {
  TempFolder units;
  FakeSystemctl systemctl{units.File("DuvaneS.service"), "disable", {}};
  ASSERT_EQ(Registration(Install(), systemctl.ForFolder(units.Path())).status, 0);
  EXPECT_NE(Registration(Uninstall(), systemctl.ForFolder(units.Path())).status, 0);
  EXPECT_TRUE(Exists(units.File("DuvaneS.service")));
}

TEST(HostSystemctl, ExitStatusBecomesTheErrorText) {
  EXPECT_EQ(duvane::platform::RunSystemctl({"--version"}), "");
  EXPECT_EQ(duvane::platform::RunSystemctl({"--no-such-option-at-all"}),
            "systemctl --no-such-option-at-all exited with status 1");
}

}  // namespace
