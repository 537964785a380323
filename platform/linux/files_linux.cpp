// The daily log's file stays open between lines, and a line goes to it only
// while the path still names it (same device and inode): when another program
// moved, renamed or deleted the file or a folder above it, re-pointed a link
// or mounted over it, the line goes to the file the path names, made afresh
// when missing. A watch on the path tells when to compare; without one the
// path is compared before every line. The open file cannot be freed, so its
// inode number goes to no other file while it is kept.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace duvane::platform {
namespace {

// What can make a name on the way lead elsewhere; not writes to the file.
constexpr uint32_t kChanges = IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                              IN_MOVE_SELF | IN_ONLYDIR;

// Tells with one system call whether the file that a path names may have
// changed: an entry on the way to it moved, deleted or made (each folder of
// the path is watched with inotify), or a file system mounted or unmounted in
// this process's view (/proc/self/mountinfo). Whether the path still names the
// same file is for the caller to check.
class PathWatch {
 public:
  PathWatch() = default;
  ~PathWatch() { Stop(); }
  PathWatch(const PathWatch&) = delete;
  PathWatch& operator=(const PathWatch&) = delete;

  // Watches the folders of `path` as they are now. False when it cannot (a
  // folder missing, no descriptor or watch left); the watch then says "may
  // have changed" every time.
  bool Start(const std::string& path) {
    Stop();
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    mounts_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    bool watching = inotify_ >= 0 && mounts_ >= 0;
    // "/", then each folder below it down to the file's own.
    for (size_t end = 1; watching && end != std::string::npos; end = path.find('/', end + 1)) {
      watching = inotify_add_watch(inotify_, path.substr(0, end).c_str(), kChanges) >= 0;
    }
    if (!watching) {
      const int error = errno;  // callers tell a missing folder by it
      Stop();
      errno = error;
    }
    return watching;
  }

  void Stop() {
    if (inotify_ >= 0) ::close(inotify_);
    if (mounts_ >= 0) ::close(mounts_);
    inotify_ = -1;
    mounts_ = -1;
  }

  bool MayHaveChanged() {
    if (inotify_ < 0) return true;
    // The mount table reports a change once per poll that sees it.
    pollfd watched[] = {{inotify_, POLLIN, 0}, {mounts_, POLLPRI, 0}};
    if (::poll(watched, 2, 0) == 0) return false;
    alignas(inotify_event) char events[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    while (::read(inotify_, events, sizeof events) > 0) {
    }
    return true;
  }

 private:
  int inotify_ = -1;
  int mounts_ = -1;
};

int OpenForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

class KeptFileAppender final : public FileAppender {
 public:
  ~KeptFileAppender() override { Release(); }

  bool Append(const std::string& path, std::string_view bytes) override {
    if (fd_ >= 0 && (path != path_ || !StillNamed())) CloseFile();
    if (fd_ < 0 && !Open(path)) return false;
    const bool written = WriteAll(fd_, bytes);
    // A file that failed is opened afresh next time: the cause may be gone.
    // One whose identity is unknown cannot be kept.
    if (!written || !known_) CloseFile();
    return written;
  }

  void Release() override {
    CloseFile();
    watch_.Stop();
  }

 private:
  // After a sign of change the watch is laid afresh on the path as it now
  // is, before the comparison, so that nothing after it goes unseen.
  bool StillNamed() {
    if (!watch_.MayHaveChanged()) return true;
    watch_.Start(path_);
    struct stat named;
    return ::stat(path_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
  }

  // The watch comes first, so that nothing done after the opening goes
  // unseen.
  bool Open(const std::string& path) {
    path_ = path;
    if (!watch_.Start(path) && errno == ENOENT) {
      MakeFolders(path);
      watch_.Start(path);
    }
    fd_ = OpenForAppend(path);
    if (fd_ < 0 && errno == ENOENT) {
      MakeFolders(path);
      fd_ = OpenForAppend(path);
    }
    if (fd_ < 0) return false;
    struct stat opened;
    known_ = ::fstat(fd_, &opened) == 0;
    device_ = known_ ? opened.st_dev : 0;
    inode_ = known_ ? opened.st_ino : 0;
    return true;
  }

  void CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  std::string path_;
  bool known_ = false;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  PathWatch watch_;
};

}  // namespace

std::unique_ptr<FileAppender> FileAppender::Create() {
  return std::make_unique<KeptFileAppender>();
}

}  // namespace duvane::platform
