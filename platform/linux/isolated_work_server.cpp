#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>

#include <cstdio>

#include "isolation/served_calls.h"
#include "platform/isolated_work.h"
#include "platform/linux/work_channel.h"

namespace duvane::platform {

int ServeIsolatedWork(const isolation::IsolatedWork& work, int argc, char** argv) {
  // Nothing that the library starts keeps the connection open.
  if (::fcntl(kWorkChannelFd, F_SETFD, FD_CLOEXEC) != 0) {
    std::fprintf(stderr, "%s: runs only as the service's helper\n", argc > 0 ? argv[0] : "helper");
    return 2;
  }
  // A service that is killed takes a hung library call with it; without
  // that, the end of the connection still ends this process between calls.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) std::perror("prctl(PR_SET_PDEATHSIG)");
  WorkChannel channel(kWorkChannelFd);
  return isolation::ServeCalls(work, argc > 1 ? argv[1] : "", channel);
}

}  // namespace duvane::platform
