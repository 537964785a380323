// Without a writable log folder the service still answers every request,
// and it logs again as soon as it can.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/soak/soak_support.h"

namespace {

using namespace soak;
using testsupport::Client;

constexpr int kRequests = 200;
constexpr const char* kLogParent = "/var/log";
constexpr const char* kLogFolder = "/var/log/duvane";

class SoakLogFolder : public SoakTest {
 protected:
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

  // Descriptors once the service has closed the connections of the clients
  // that left.
  static int RestingDescriptors(pid_t pid) {
    EXPECT_TRUE(testsupport::Eventually([&] { return AcceptedConnections(pid) == 0; }));
    return OpenDescriptors(pid);
  }

  static void Figures(const std::string& name, int served, bool loggedAfter) {
    Report(name, {{"requests", std::to_string(kRequests)},
                  {"served", std::to_string(served)},
                  {"failures", std::to_string(kRequests - served)},
                  {"logs_again", loggedAfter ? "yes" : "no"}});
  }
};

// Unwritable from the start: a missing folder that cannot be created, or a
// read-only one.
TEST_F(SoakLogFolder, UnwritableAtStartThenMended) {
  struct Case {
    const char* figures;
    std::function<void()> breakIt, expectNothingWritten, mend;
  };
  const Case cases[] = {
      {"log-folder-missing",
       [] { ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0); },
       [] { EXPECT_FALSE(std::filesystem::exists(kLogFolder)); },
       [] { ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT, nullptr), 0); }},
      {"log-folder-read-only",
       [] {
         ASSERT_TRUE(std::filesystem::create_directories(kLogFolder));
         ASSERT_EQ(mount(kLogFolder, kLogFolder, nullptr, MS_BIND, nullptr), 0);
         ASSERT_EQ(mount(nullptr, kLogFolder, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
                   0);
       },
       [] { EXPECT_TRUE(std::filesystem::is_empty(kLogFolder)); },
       [] { ASSERT_EQ(umount2(kLogFolder, MNT_DETACH), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.figures);
    testsupport::ClearLogFolder();
    ASSERT_NO_FATAL_FAILURE(c.breakIt());
    auto service = StartService();
    ASSERT_TRUE(service);
    const int served = Serve("unwritable");
    EXPECT_EQ(served, kRequests);
    c.expectNothingWritten();

    ASSERT_NO_FATAL_FAILURE(c.mend());
    EXPECT_EQ(Serve("writable"), kRequests);
    const bool loggedAfter = Logged("writable=0");
    EXPECT_TRUE(loggedAfter);
    Figures(c.figures, served, loggedAfter);
  }
}

TEST_F(SoakLogFolder, FolderRemovedWhileRunning) {
  auto service = StartService();
  ASSERT_TRUE(service);
  ASSERT_TRUE(testsupport::Eventually([] { return !testsupport::ReadTodaysLog().empty(); }));
  // The service may still be writing its start lines and so create the file
  // again between the removal of the file and that of the folder.
  ASSERT_TRUE(testsupport::Eventually([] {
    std::error_code error;
    std::filesystem::remove_all(kLogFolder, error);
    return !std::filesystem::exists(kLogFolder);
  }));
  const int served = Serve("removed");
  EXPECT_EQ(served, kRequests);
  const bool loggedAfter = Logged("removed=0");
  EXPECT_TRUE(loggedAfter);
  Figures("log-folder-removed", served, loggedAfter);
}

// Broken while the service runs and holds the day's file, then mended: every
// request is still answered, logging resumes by itself, and the service holds
// no more descriptors than before.
TEST_F(SoakLogFolder, BrokenWhileRunningThenMended) {
  struct Case {
    const char* name;
    std::function<void()> breakIt, mend;
  };
  const std::string folder = std::string(kLogFolder) + "/";
  const Case cases[] = {
      {"disk-full",
       [&] {
         // The private /var/log is a file system of its own: shrink it, then fill it.
         ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT, "size=1m"), 0);
         std::ofstream filler(folder + "filler", std::ios::binary);
         const std::string block(4096, 'x');
         while (filler.write(block.data(), block.size()) && filler.flush()) {
         }
       },
       [&] {
         std::filesystem::remove(folder + "filler");
         ASSERT_EQ(mount(nullptr, kLogParent, nullptr, MS_REMOUNT, "size=256m"), 0);
       }},
      {"folder-replaced-by-a-file",
       [&] {
         std::filesystem::remove_all(kLogFolder);
         std::ofstream(kLogFolder) << "x";
       },
       [&] { std::filesystem::remove(kLogFolder); }},
      {"file-moved",
       [&] {
         for (const auto& entry : std::filesystem::directory_iterator(kLogFolder)) {
           std::filesystem::rename(entry.path(), folder + "moved.txt");
         }
       },
       [] {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ClearLogFolder();
    auto service = StartService();
    ASSERT_TRUE(service);
    EXPECT_EQ(Serve("before"), kRequests);
    ASSERT_TRUE(Logged("before=0"));
    const int descriptors = RestingDescriptors(service->Pid());

    c.breakIt();
    const int served = Serve("broken");
    EXPECT_EQ(served, kRequests);
    c.mend();
    EXPECT_EQ(Serve("mended"), kRequests);
    const bool loggedAfter = Logged("mended=0");
    EXPECT_TRUE(loggedAfter);
    EXPECT_EQ(RestingDescriptors(service->Pid()), descriptors);
    Figures(std::string("log-") + c.name, served, loggedAfter);
  }
}

}  // namespace
