#include "tests/support/private_host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <limits.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

constexpr const char* kLogParent = "/var/log";
constexpr const char* kLogFolder = "/var/log/duvane/";

bool BringLoopbackUp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  close(fd);
  return ok;
}

std::string TempPath(const char* tag) {
  char name[] = "/tmp/duvane-test-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return std::string(name) + tag;
}

// Today's local date by `format`, which takes year, month and day.
std::string TodayAs(const char* format) {
  time_t now = time(nullptr);
  tm parts{};
  localtime_r(&now, &parts);
  char text[64];
  std::snprintf(text, sizeof text, format, parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  return text;
}

}  // namespace

bool EnterPrivateHost() {
  static int state = -1;
  if (state >= 0) return state == 1;
  state = 0;
  if (geteuid() != 0) return false;
  if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  // A fresh, empty /var/log: the service must create its folder by itself,
  // and nothing of the machine's own logs is touched.
  if (mount("tmpfs", kLogParent, "tmpfs", 0, "size=256m,mode=0755") != 0) return false;
  if (!BringLoopbackUp()) return false;
  state = 1;
  return true;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string TodaysLogName() { return TodayAs("%04d%02d%02d.txt"); }

std::string TodaysLogPath() { return std::string(kLogFolder) + TodaysLogName(); }

std::string ReadTodaysLog() { return ReadWholeFile(TodaysLogPath()); }

void ClearLogFolder() {
  std::error_code ec;
  std::filesystem::remove_all(kLogFolder, ec);
}

std::string BinFolder() {
  if (const char* dir = std::getenv("DUVANE_BIN_DIR")) return dir;
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  // Test programs live in <build>/tests/...; the programs in <build>/bin.
  std::filesystem::path dir =
      std::filesystem::path(std::string(self, static_cast<size_t>(n))).parent_path();
  for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    if (std::filesystem::exists(dir / "bin" / "SDuvane")) return (dir / "bin").string();
  }
  return "";
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& extraEnv)
    : outPath_(TempPath(".out")), errPath_(TempPath(".err")) {
  pid_ = fork();
  if (pid_ == 0) {
    int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const auto& [key, value] : extraEnv) setenv(key.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

Process::~Process() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  unlink(outPath_.c_str());
  unlink(errPath_.c_str());
}

void Process::Signal(int signal) {
  if (pid_ > 0 && !reaped_) kill(pid_, signal);
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
  int status = 0;
  bool done = Eventually(
      [&] {
        if (reaped_) return true;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) reaped_ = true;
        return reaped_;
      },
      timeout);
  if (!done) return std::nullopt;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

std::string Process::Stdout() const { return ReadWholeFile(outPath_); }
std::string Process::Stderr() const { return ReadWholeFile(errPath_); }

Outcome RunToEnd(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& extraEnv,
                 std::chrono::milliseconds timeout) {
  Process process(program, args, extraEnv);
  const std::optional<int> status = process.Wait(timeout);
  return {status.value_or(-1), process.Stdout(), process.Stderr()};
}

bool WaitForListening(uint16_t port, std::chrono::milliseconds timeout) {
  return Eventually(
      [port] {
        Client probe(port);
        return probe.Connected();
      },
      timeout);
}

Client::Client(uint16_t port, int receiveBuffer) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receiveBuffer > 0)
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

Client::~Client() { Close(); }

void Client::Send(const std::string& bytes) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

namespace {

// Reads what arrives until `deadline`; false when the peer closed or failed.
bool ReadSome(int fd, std::string& into, std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
  char buf[65536];
  ssize_t n = recv(fd, buf, sizeof buf, 0);
  if (n <= 0) return false;
  into.append(buf, static_cast<size_t>(n));
  return true;
}

std::optional<size_t> CompleteReplyLength(const std::string& data) {
  size_t end = data.find("\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  const std::string key = "Content-Length: ";
  size_t at = data.find(key);
  if (at == std::string::npos || at > end) return std::nullopt;
  size_t length = std::strtoul(data.c_str() + at + key.size(), nullptr, 10);
  if (data.size() < end + 4 + length) return std::nullopt;
  return end + 4 + length;
}

}  // namespace

std::optional<std::string> Client::ReadReply(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto length = CompleteReplyLength(pending_)) {
      std::string reply = pending_.substr(0, *length);
      pending_.erase(0, *length);
      return reply;
    }
    if (fd_ < 0 || !ReadSome(fd_, pending_, deadline)) return std::nullopt;
  }
}

std::string Client::ReadFor(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (fd_ >= 0 && ReadSome(fd_, pending_, deadline)) {
  }
  std::string all;
  all.swap(pending_);
  return all;
}

bool Client::PeerClosed(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return true;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char c;
  return recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void Client::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void Client::Reset() {
  if (fd_ < 0) return;
  linger l{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void Client::CloseSending() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

std::string TodaysDate() { return TodayAs("%04d-%02d-%02d"); }

std::string ExpectedReply(const std::string& body) {
  return "HTTP/1.1 200 OK \r\nDate: " + TodaysDate() +
         " \r\nServer: Microsoft-IIS/6.0 \r\nX-Powered-By: ASP.NET \r\n"
         "X-AspNet-Version: 4.0.30319 \r\nX-AspNetMvc-Version: 3.0 \r\n"
         "Cache-Control: private \r\nContent-Type: application/json; charset=utf-8 \r\n"
         "Content-Length: " +
         std::to_string(body.size()) + " \r\n\r\n" + body;
}

std::string BodyOf(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? "" : reply.substr(end + 4);
}

}  // namespace testsupport
