#include "platform/linux/folder_watch.h"

#include <errno.h>
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace duvane::platform {
namespace {

// What other programs do to the file or the folder; the file's own writes
// (IN_MODIFY) and its creation are not asked for.
constexpr uint32_t kChanges = IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF |
                              IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

bool FolderWatch::Start(const std::string& folder) {
  Stop();
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) return false;
  watch_ = inotify_add_watch(inotify_, folder.c_str(), kChanges);
  if (watch_ < 0) {
    const int error = errno;  // callers tell a missing folder by it
    Stop();
    errno = error;
  }
  return Watching();
}

void FolderWatch::Stop() {
  if (inotify_ >= 0) ::close(inotify_);
  inotify_ = -1;
  watch_ = -1;
}

bool FolderWatch::Changed(const std::string& name) {
  if (!Watching()) return true;
  bool changed = false;
  alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
  for (;;) {
    ssize_t n = ::read(inotify_, buffer, sizeof buffer);
    if (n <= 0) break;  // EAGAIN: nothing (more) happened
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      const bool aboutFolder = event->len == 0;
      if (aboutFolder || std::strcmp(event->name, name.c_str()) == 0) changed = true;
      if (event->mask & (IN_IGNORED | IN_Q_OVERFLOW)) changed = true;
      // A folder that moved away keeps its watch, but the file's path now
      // names another folder; after an overflow nobody can tell. The folder
      // at the path is watched afresh.
      if (event->mask & (IN_IGNORED | IN_MOVE_SELF | IN_Q_OVERFLOW)) watch_ = -1;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  if (!Watching()) Stop();
  return changed;
}

}  // namespace duvane::platform
