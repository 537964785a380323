// The calls run in a child process that serves them (isolation/), started
// with its end of a socket pair at kWorkChannelFd.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "isolation/served_calls.h"
#include "platform/isolated_work.h"
#include "platform/linux/work_channel.h"

extern char** environ;

namespace duvane::platform {
namespace {

// How long a process with nothing to do gets to end by itself when the
// service lets it go.
constexpr std::chrono::seconds kStopGrace{2};

std::string ErrorText(int error) { return std::strerror(error); }

std::string EndText(int status) {
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::sigabbrev_np(signal);
    return "its process was killed by signal " + std::to_string(signal) +
           (name != nullptr ? " (SIG" + std::string(name) + ")" : std::string());
  }
  if (WIFEXITED(status)) {
    return "its process ended with exit status " + std::to_string(WEXITSTATUS(status));
  }
  return "its process ended";
}

// The serving program's start: standard input empty, its end of the
// connection at kWorkChannelFd and nothing else of the service's (sockets,
// files) inherited, every signal unblocked and at its default action.
class SpawnSetup {
 public:
  explicit SpawnSetup(int childEnd) {
    ok_ = ::posix_spawn_file_actions_init(&actions_) == 0 &&
          ::posix_spawnattr_init(&attributes_) == 0;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ok_ = ok_ && ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
          ::posix_spawn_file_actions_adddup2(&actions_, childEnd, kWorkChannelFd) == 0 &&
          ::posix_spawn_file_actions_addclosefrom_np(&actions_, kWorkChannelFd + 1) == 0 &&
          ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
          ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
          ::posix_spawnattr_setflags(&attributes_,
                                     POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // posix_spawn's result: 0 or an error number.
  int Spawn(pid_t& pid, const std::string& program, const std::string& argument) {
    if (!ok_) return ENOMEM;
    std::string programCopy = program, argumentCopy = argument;
    char* argv[] = {programCopy.data(), argumentCopy.data(), nullptr};
    return ::posix_spawn(&pid, program.c_str(), &actions_, &attributes_, argv, environ);
  }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
  bool ok_ = false;
};

class ChildProcess final : public isolation::ServingProgram {
 public:
  ~ChildProcess() override;

  bool Running() const override { return pid_ > 0; }
  bool Launch(const std::string& program, const std::string& argument, std::string& error) override;
  isolation::ByteStream& Stream() override { return channel_; }
  std::string End() override { return EndText(KillAndReap()); }

 private:
  int KillAndReap();

  pid_t pid_ = -1;
  WorkChannel channel_{-1};
};

bool ChildProcess::Launch(const std::string& program, const std::string& argument,
                          std::string& error) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    error = "cannot connect to " + program + ": " + ErrorText(errno);
    return false;
  }
  pid_t pid = -1;
  const int spawned = SpawnSetup(ends[1]).Spawn(pid, program, argument);
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    error = "cannot start " + program + ": " + ErrorText(spawned);
    return false;
  }
  pid_ = pid;
  channel_.Use(ends[0]);
  return true;
}

// The exit status of the process, which is gone afterwards. A process that
// has already ended keeps the status it ended with.
int ChildProcess::KillAndReap() {
  const bool killed = ::kill(pid_, SIGKILL) == 0;
  ::close(channel_.fd());
  int status = 0;
  // A process that the signal did not reach is let go rather than waited for.
  while (::waitpid(pid_, &status, killed ? 0 : WNOHANG) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  channel_.Use(-1);
  return status;
}

ChildProcess::~ChildProcess() {
  if (pid_ < 0) return;
  // The end of its input ends the process between calls; its library may
  // tidy up on the way out.
  if (::shutdown(channel_.fd(), SHUT_WR) == 0) {
    const isolation::Deadline deadline = std::chrono::steady_clock::now() + kStopGrace;
    char discarded = 0;
    while (channel_.Receive(&discarded, 1, deadline) == isolation::Transfer::kDone) {
    }
  }
  KillAndReap();
}

}  // namespace

std::unique_ptr<isolation::Isolation> CreateIsolation(const isolation::IsolatedWork& work,
                                                      isolation::IsolationSettings settings) {
  return isolation::CreateServedIsolation(work, std::move(settings),
                                          std::make_unique<ChildProcess>());
}

}  // namespace duvane::platform
