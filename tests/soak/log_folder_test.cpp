// Without a writable log folder the service still answers every request,
// and it logs again as soon as it can.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/soak/soak_service.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kRequests = 200;
constexpr const char* kLogParent = "/var/log";
constexpr const char* kLogFolder = "/var/log/duvane";

class SoakLogFolder : public SoakTest {
 protected:
  void SetUp() override {
    SoakTest::SetUp();
    if (IsSkipped()) return;
  }
  void TearDown() override {
    // Root ignores permission bits, so read-only mounts stand for the
    // folders a service cannot write; undo them for the next test.
    umount2(kLogFolder, MNT_DETACH);
    mount(nullptr, kLogParent, nullptr, MS_REMOUNT, nullptr);
  }

  // Asks kRequests times; returns how many were answered.
  int Serve(const std::string& tag) {
    Client client(kPort);
    int served = 0;
    for (int i = 0; i < kRequests; ++i) {
      auto reply = Ask(client, "FOO?" + tag + "=" + std::to_string(i));
      if (reply && ResultCode(*reply) == "0001") ++served;
    }
    return served;
  }

  static bool Logged(const std::string& tag) {
    return testsupport::Eventually(
        [&] { return testsupport::ReadTodaysLog().find("strParam:" + tag) != std::string::npos; });
  }

  static void Figures(const std::string& name, int served, bool loggedAfter) {
    Report(name, {{"requests", std::to_string(kRequests)},
                  {"served", std::to_string(served)},
                  {"failures", std::to_string(kRequests - served)},
                  {"logs_again", loggedAfter ? "yes" : "no"}});
  }
};

TEST_F(SoakLogFolder, MissingFolderThatCannotBeCreated) {
  ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  auto service = StartService();
  ASSERT_TRUE(service);
  const int served = Serve("missing");
  EXPECT_EQ(served, kRequests);
  EXPECT_FALSE(std::filesystem::exists(kLogFolder));

  ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT, nullptr), 0);
  EXPECT_EQ(Serve("writable"), kRequests);
  const bool loggedAfter = Logged("writable=0");
  EXPECT_TRUE(loggedAfter);
  Figures("log-folder-missing", served, loggedAfter);
}

TEST_F(SoakLogFolder, ReadOnlyFolder) {
  ASSERT_TRUE(std::filesystem::create_directories(kLogFolder));
  ASSERT_EQ(mount(kLogFolder, kLogFolder, nullptr, MS_BIND, nullptr), 0);
  ASSERT_EQ(mount(nullptr, kLogFolder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
  auto service = StartService();
  ASSERT_TRUE(service);
  const int served = Serve("readonly");
  EXPECT_EQ(served, kRequests);
  EXPECT_TRUE(std::filesystem::is_empty(kLogFolder));

  ASSERT_EQ(umount2(kLogFolder, MNT_DETACH), 0);
  EXPECT_EQ(Serve("writable"), kRequests);
  const bool loggedAfter = Logged("writable=0");
  EXPECT_TRUE(loggedAfter);
  Figures("log-folder-read-only", served, loggedAfter);
}

TEST_F(SoakLogFolder, FolderRemovedWhileRunning) {
  auto service = StartService();
  ASSERT_TRUE(service);
  ASSERT_TRUE(testsupport::Eventually([] { return !testsupport::ReadTodaysLog().empty(); }));
  std::filesystem::remove_all(kLogFolder);
  const int served = Serve("removed");
  EXPECT_EQ(served, kRequests);
  const bool loggedAfter = Logged("removed=0");
  EXPECT_TRUE(loggedAfter);
  Figures("log-folder-removed", served, loggedAfter);
}

}  // namespace
