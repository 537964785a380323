// The calls run in a child process: whatever the library does to its process
// (a fault, a lock it never gives back, memory it corrupts) dies with it, and
// the next call starts a new one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/isolated_work.h"
#include "platform/linux/work_channel.h"

extern char** environ;

namespace duvane::platform {
namespace {

// How long a process with nothing to do gets to end by itself when the
// service lets it go.
constexpr std::chrono::seconds kStopGrace{2};

std::string ErrorText(int error) { return std::strerror(error); }

std::string Milliseconds(std::chrono::milliseconds bound) {
  return std::to_string(bound.count()) + " ms";
}

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

class ProcessIsolation final : public Isolation {
 public:
  ProcessIsolation(const IsolatedWork& work, IsolationSettings settings)
      : work_(work),
        settings_(std::move(settings)),
        reply_(work.Largest(&IsolatedCall::replySize)) {}
  ~ProcessIsolation() override { Stop(); }

  bool Start(std::string& error) override { return pid_ > 0 || Spawn(error); }
  CallOutcome Call(std::size_t index, const void* request, void* reply) override;

 private:
  bool Spawn(std::string& error);
  bool AwaitReady(std::string& error);
  bool Send(std::size_t index, const void* request);
  CallOutcome Await(const IsolatedCall& call, void* reply);
  CallOutcome Ended(Transfer transfer, CallOutcome outcome);
  int KillAndReap();
  void Stop();

  IsolatedWork work_;
  IsolationSettings settings_;
  std::vector<char> reply_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

bool ProcessIsolation::Spawn(std::string& error) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    error = "cannot connect to " + settings_.program + ": " + ErrorText(errno);
    return false;
  }
  pid_t pid = -1;
  const int spawned = SpawnSetup(ends[1]).Spawn(pid, settings_.program, settings_.argument);
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    error = "cannot start " + settings_.program + ": " + ErrorText(spawned);
    return false;
  }
  pid_ = pid;
  fd_ = ends[0];
  return AwaitReady(error);
}

bool ProcessIsolation::AwaitReady(std::string& error) {
  const WorkDeadline deadline = std::chrono::steady_clock::now() + settings_.startBound;
  unsigned char tag = 0;
  const Transfer transfer = ReceiveAll(fd_, &tag, 1, deadline);
  if (transfer == Transfer::kDone && tag == static_cast<unsigned char>(WorkTag::kReady))
    return true;
  std::string reason;
  if (transfer == Transfer::kDone && tag == static_cast<unsigned char>(WorkTag::kNotReady) &&
      ReceiveText(fd_, reason, deadline) == Transfer::kDone) {
    error = reason;
  } else if (transfer == Transfer::kTimedOut) {
    error = settings_.program + " was not ready within " + Milliseconds(settings_.startBound);
  } else {
    error = settings_.program + " ended before it was ready";
  }
  const int status = KillAndReap();
  if (reason.empty() && transfer != Transfer::kTimedOut) error += ": " + EndText(status);
  return false;
}

bool ProcessIsolation::Send(std::size_t index, const void* request) {
  const unsigned char header = static_cast<unsigned char>(index);
  return SendAll(fd_, &header, 1) && SendAll(fd_, request, work_.calls[index].requestSize);
}

CallOutcome ProcessIsolation::Call(std::size_t index, const void* request, void* reply) {
  // A process that ended between two calls (killed from outside) is replaced
  // once.
  for (int attempt = 0;; ++attempt) {
    std::string error;
    if (pid_ < 0 && !Spawn(error)) return {CallEnd::kUnavailable, -1, error};
    if (Send(index, request)) break;
    KillAndReap();
    if (attempt == 1) return {CallEnd::kUnavailable, -1, "cannot reach " + settings_.program};
  }
  return Await(work_.calls[index], reply);
}

CallOutcome ProcessIsolation::Await(const IsolatedCall& call, void* reply) {
  const WorkDeadline deadline = std::chrono::steady_clock::now() + settings_.callBound;
  CallOutcome outcome;
  for (;;) {
    unsigned char tag = 0;
    Transfer transfer = ReceiveAll(fd_, &tag, 1, deadline);
    if (transfer != Transfer::kDone) return Ended(transfer, outcome);
    switch (static_cast<WorkTag>(tag)) {
      case WorkTag::kStep: {
        unsigned char step = 0;
        transfer = ReceiveAll(fd_, &step, 1, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        outcome.step = step;
        break;
      }
      case WorkTag::kReply:
        transfer = ReceiveAll(fd_, reply_.data(), call.replySize, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        std::copy_n(reply_.data(), call.replySize, static_cast<char*>(reply));
        return outcome;
      case WorkTag::kRaised:
        transfer = ReceiveText(fd_, outcome.detail, deadline);
        if (transfer != Transfer::kDone) return Ended(transfer, outcome);
        outcome.end = CallEnd::kRaised;
        outcome.detail = "raised an exception: " + outcome.detail;
        return outcome;
      default:
        // Whatever sent that is not the serving program as we know it.
        return Ended(Transfer::kFailed, outcome);
    }
  }
}

CallOutcome ProcessIsolation::Ended(Transfer transfer, CallOutcome outcome) {
  const int status = KillAndReap();
  if (transfer == Transfer::kTimedOut) {
    outcome.end = CallEnd::kTimedOut;
    outcome.detail =
        "did not return within " + Milliseconds(settings_.callBound) + "; its process was killed";
  } else {
    outcome.end = CallEnd::kCrashed;
    outcome.detail = EndText(status);
  }
  return outcome;
}

// The exit status of the process, which is gone afterwards. A process that
// has already ended keeps the status it ended with.
int ProcessIsolation::KillAndReap() {
  const bool killed = ::kill(pid_, SIGKILL) == 0;
  ::close(fd_);
  int status = 0;
  // A process that the signal did not reach is let go rather than waited for.
  while (::waitpid(pid_, &status, killed ? 0 : WNOHANG) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  fd_ = -1;
  return status;
}

void ProcessIsolation::Stop() {
  if (pid_ < 0) return;
  // The end of its input ends the process between calls; its library may
  // tidy up on the way out.
  if (::shutdown(fd_, SHUT_WR) == 0) {
    const WorkDeadline deadline = std::chrono::steady_clock::now() + kStopGrace;
    char discarded = 0;
    while (ReceiveAll(fd_, &discarded, 1, deadline) == Transfer::kDone) {
    }
  }
  KillAndReap();
}

}  // namespace

std::unique_ptr<Isolation> Isolation::Create(const IsolatedWork& work, IsolationSettings settings) {
  return std::make_unique<ProcessIsolation>(work, std::move(settings));
}

}  // namespace duvane::platform
