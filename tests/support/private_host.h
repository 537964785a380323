// Test support: run the real service binary on its fixed port and fixed log
// folder without touching the machine, and talk to it over real sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using namespace std::chrono_literals;

// Moves the calling process (once; later calls do nothing) into private
// network and mount namespaces: loopback up, and a fresh temporary folder
// bind-mounted on /var/log/duvane. Programs started afterwards share them.
// Returns false when that is not possible (not root); callers then skip.
// Call it before any thread is started (first thing in a test's SetUp).
bool EnterPrivateHost();

// The name of today's log file, "yyyymmdd.txt".
std::string TodaysLogName();
// Today's log file in the service's log folder, and its content (raw bytes, GBK, CR LF) or "".
std::string TodaysLogPath();
std::string ReadTodaysLog();
// Removes every file from the log folder.
void ClearLogFolder();

// The bytes of a file, "" when it is missing.
std::string ReadWholeFile(const std::string& path);

// The folder of the build's programs and libraries (build/bin), found from
// the running test executable's location or DUVANE_BIN_DIR.
std::string BinFolder();

// A child process.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& extraEnv = {});
  ~Process();  // SIGKILL and reap when still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  int Pid() const { return pid_; }
  void Signal(int signal);
  // The exit status (or 128 + signal), or nullopt on timeout.
  std::optional<int> Wait(std::chrono::milliseconds timeout = 10s);
  // Everything the child wrote to stdout / stderr so far (collected in files).
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  int pid_ = -1;
  bool reaped_ = false;
  std::string outPath_, errPath_;
};

// How a program ended: its exit status (-1 when it did not end in time) and
// what it wrote.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end.
Outcome RunToEnd(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& extraEnv = {},
                 std::chrono::milliseconds timeout = 10s);

// Waits until something accepts TCP connections on 127.0.0.1:port.
bool WaitForListening(uint16_t port, std::chrono::milliseconds timeout = 10s);

// A blocking TCP client with timeouts.
class Client {
 public:
  // Connects to 127.0.0.1:port; a `receiveBuffer` size other than 0 makes a
  // client that takes little at a time.
  explicit Client(uint16_t port, int receiveBuffer = 0);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Send(const std::string& bytes);
  // One whole reply (header block and Content-Length body), or nullopt when
  // nothing complete arrived within the timeout.
  std::optional<std::string> ReadReply(std::chrono::milliseconds timeout = 5s);
  // Whatever arrives within the timeout (for "nothing is sent" checks).
  std::string ReadFor(std::chrono::milliseconds timeout);
  // True when the peer closed the connection within the timeout.
  bool PeerClosed(std::chrono::milliseconds timeout);
  void Close();
  // Closes with a reset (SO_LINGER 0) instead of a plain close.
  void Reset();
  // Closes the sending side only (the peer sees a clean close); replies can
  // still be read.
  void CloseSending();

 private:
  int fd_ = -1;
  std::string pending_;
};

// The body of an HTTP reply (after the blank line).
std::string BodyOf(const std::string& reply);

// Today's local date as the reply header shows it, "yyyy-mm-dd".
std::string TodaysDate();

// The whole reply the service sends today with `body`: the fixed header
// block, the Content-Length of the body's bytes, then the body.
std::string ExpectedReply(const std::string& body);

// Polls `condition` until true or timeout.
template <typename F>
bool Eventually(F condition, std::chrono::milliseconds timeout = 5s) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace testsupport
