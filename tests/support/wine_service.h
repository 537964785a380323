// Test support: a Wine session of its own for tests of a Windows build,
// 64-bit or 32-bit (a 32-bit prefix then): a fresh prefix, a persistent
// server (services under Wine die after a few seconds without one) and
// Wine's service control manager; and SDuvane.exe as a service of that
// manager. Start it inside a private host, so that the sockets of its
// programs are the test's own.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/service_harness.h"

namespace testsupport {

using namespace std::chrono_literals;

class WineSession {
 public:
  // An empty prefix under /tmp for programs of `bits` (32 or 64); nothing
  // runs yet.
  explicit WineSession(int bits = 64);
  ~WineSession();  // ends every process of the session, removes the prefix
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // Whether the Wine loader for programs of `bits` is installed.
  static bool Installed(int bits = 64);
  // Starts the server and makes the prefix (wineboot -i). Returns false and
  // the reason in `error` when Wine is missing or the prefix is not made.
  bool Start(std::string& error);
  // Restarts the session the way a Windows machine boots: the service
  // control manager starts the automatic services. From then on the
  // services' calls of the service API are traced to ServiceTrace().
  bool Reboot();
  std::string ServiceTrace() const;

  // Runs a Windows program (a "C:\..." path or a name on Wine's path) with
  // `debug` as WINEDEBUG.
  Outcome Run(const std::vector<std::string>& arguments, std::chrono::seconds timeout = 60s,
              const std::string& debug = "-all") const;

  // The Linux path of Wine's drive C.
  std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }
  // The registry's machine part as Wine keeps it, written when the server
  // stops.
  std::filesystem::path MachineRegistry() const { return prefix_ / "system.reg"; }

 private:
  Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     std::chrono::seconds timeout, const std::string& debug) const;
  bool Server(const std::string& option) const;

  std::string loader_;
  int bits_;
  std::filesystem::path prefix_;
};

// SDuvane.exe of a Windows build as the service "DuvaneS" of the session,
// installed from C:\duvane\ (the test lays out that folder) and started
// the way a Windows machine boots.
class WineService : public ServiceUnderTest {
 public:
  static constexpr const char* kProgram = "C:\\duvane\\SDuvane.exe";

  // `build` is the Windows build's folder: the control tool is in its test-bin/.
  WineService(int bits, std::filesystem::path build) : session_(bits), build_(std::move(build)) {}

  WineSession& Session() { return session_; }
  std::filesystem::path Folder() const { return session_.DriveC() / "duvane"; }
  // Registers the service (-INSTALL).
  Outcome Install() { return session_.Run({kProgram, "-INSTALL"}); }
  // Reboots the session and waits until the service listens.
  bool Boot() { return session_.Reboot() && WaitForListening(Port(), 60s); }
  // Sends a control request that Wine's sc does not know; returns the state
  // that the service reports once it has carried the request out.
  std::string Control(const std::string& request);

  uint16_t Port() const override { return kServicePort; }
  // In the root of drive C, where a service's own folder is the system's.
  std::string LogPath() const override { return (session_.DriveC() / TodaysLogName()).string(); }
  bool Pause() override { return Control("pause") == "PAUSED"; }
  bool Continue() override { return Control("continue") == "RUNNING"; }
  // "net stop"; true when it succeeds.
  bool Stop() override;

 private:
  WineSession session_;
  std::filesystem::path build_;
};

}  // namespace testsupport
