#include "platform/linux/path_watch.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace duvane::platform {
namespace {

// What can make a name on the way lead elsewhere; writes to the file
// (IN_MODIFY) are not asked for.
constexpr uint32_t kChanges = IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                              IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

bool PathWatch::Start(const std::string& path) {
  Stop();
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  mounts_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  bool watching = inotify_ >= 0 && mounts_ >= 0;
  // "/", then each folder below it down to the file's own.
  for (size_t end = 1; watching && end != std::string::npos; end = path.find('/', end + 1)) {
    const std::string folder = path.substr(0, end);
    watching = inotify_add_watch(inotify_, folder.c_str(), kChanges) >= 0;
  }
  if (!watching) {
    const int error = errno;  // callers tell a missing folder by it
    Stop();
    errno = error;
  }
  return watching;
}

void PathWatch::Stop() {
  if (inotify_ >= 0) ::close(inotify_);
  if (mounts_ >= 0) ::close(mounts_);
  inotify_ = -1;
  mounts_ = -1;
}

bool PathWatch::MayHaveChanged() {
  if (inotify_ < 0) return true;
  // The mount table reports a change once per poll that sees it.
  pollfd watched[] = {{inotify_, POLLIN, 0}, {mounts_, POLLPRI, 0}};
  const int ready = ::poll(watched, 2, 0);
  if (ready == 0) return false;
  alignas(inotify_event) char events[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  while (::read(inotify_, events, sizeof events) > 0) {
  }
  return true;
}

}  // namespace duvane::platform
