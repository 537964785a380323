#include "tests/soak/soak_support.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace soak {

std::unique_ptr<testsupport::ServiceProgram> StartService(testsupport::ProgramOptions options) {
  auto service = std::make_unique<testsupport::ServiceProgram>(std::move(options));
  return service->Ready() ? std::move(service) : nullptr;
}

namespace {

// Calls `visit(number, target)` for each open descriptor of `pid`.
template <typename Visit>
bool ForEachDescriptor(pid_t pid, Visit visit) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[256] = {};
    ssize_t n = readlink((folder + entry->d_name).c_str(), target, sizeof target - 1);
    visit(std::atoi(entry->d_name), std::string(target, n > 0 ? static_cast<size_t>(n) : 0));
  }
  closedir(dir);
  return true;
}

}  // namespace

int OpenDescriptors(pid_t pid, int below) {
  int count = 0;
  bool ok = ForEachDescriptor(pid, [&](int number, const std::string&) {
    if (number < below) ++count;
  });
  return ok ? count : -1;
}

namespace {

// The inodes of the Unix sockets that `pid` sees: its link to its
// identity-card helper among them, which is no connection of a page.
std::set<std::string> UnixSocketInodes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/net/unix");
  std::set<std::string> inodes;
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int index = 0; index < 7 && fields >> field; ++index) {
    }
    inodes.insert(field);
  }
  return inodes;
}

}  // namespace

int AcceptedConnections(pid_t pid) {
  const std::set<std::string> unixSockets = UnixSocketInodes(pid);
  int sockets = 0;
  bool ok = ForEachDescriptor(pid, [&](int, const std::string& target) {
    // "socket:[inode]"
    if (target.rfind("socket:[", 0) != 0) return;
    if (!unixSockets.contains(target.substr(8, target.size() - 9))) ++sockets;
  });
  return ok ? sockets - 1 : -1;
}

bool OpenAccepted(pid_t pid, int count, std::vector<std::unique_ptr<testsupport::Client>>& into,
                  int receiveBuffer) {
  // Small batches stay well inside the listen backlog of 5 even when the
  // machine is busy; a handshake dropped from a full queue is only retried by
  // the kernel after one, then two, then four seconds.
  constexpr int kBatch = 2;
  const int before = AcceptedConnections(pid);
  for (int opened = 0; opened < count;) {
    for (int i = 0; i < kBatch && opened < count; ++i, ++opened) {
      into.push_back(std::make_unique<testsupport::Client>(kPort, receiveBuffer));
      if (!into.back()->Connected()) return false;
    }
    const int expected = before + opened;
    if (!testsupport::Eventually([&] { return AcceptedConnections(pid) >= expected; }, 15s)) {
      return false;
    }
  }
  return true;
}

bool ShrinkSendBuffers(pid_t pid, int bytes) {
  // Through syscall(): glibc 2.36's <sys/pidfd.h> declares no C linkage.
  const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (process < 0) return false;
  bool shrunk = true;
  const bool listed = ForEachDescriptor(pid, [&](int number, const std::string& target) {
    if (target.rfind("socket:", 0) != 0) return;
    // A copy of the service's descriptor: the same socket.
    const int socket = static_cast<int>(syscall(SYS_pidfd_getfd, process, number, 0));
    shrunk = shrunk && socket >= 0 &&
             setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
    if (socket >= 0) close(socket);
  });
  close(process);
  return listed && shrunk;
}

namespace {

long StatusKib(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

}  // namespace

long ResidentKib(pid_t pid) { return StatusKib(pid, "VmRSS"); }

long PeakResidentKib(pid_t pid) { return StatusKib(pid, "VmHWM"); }

std::chrono::milliseconds CpuTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold blanks; the fields after it are plain numbers.
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::chrono::milliseconds(-1);
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) utime = std::stoll(field);
    if (index == 15) {
      stime = std::stoll(field);
      break;
    }
  }
  return std::chrono::milliseconds((utime + stime) * 1000 / sysconf(_SC_CLK_TCK));
}

bool SetDescriptorLimit(pid_t pid, rlim_t soft) {
  rlimit limit{};
  if (prlimit(pid, RLIMIT_NOFILE, nullptr, &limit) != 0) return false;
  limit.rlim_cur = soft;
  return prlimit(pid, RLIMIT_NOFILE, &limit, nullptr) == 0;
}

bool RaiseOwnDescriptorLimit(rlim_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  if (limit.rlim_max < wanted) return false;
  limit.rlim_cur = wanted;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

void Report(const std::string& name, const std::map<std::string, std::string>& figures) {
  std::string line = "SOAK " + name + ":";
  for (const auto& [key, value] : figures) line += " " + key + "=" + value;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace soak
