#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace duvane::platform {
namespace {

int OpenForAppend(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
}

}  // namespace

bool AppendToFile(const std::string& path, std::string_view bytes) {
  int fd = OpenForAppend(path);
  if (fd < 0 && errno == ENOENT) {
    MakeFolders(path);
    fd = OpenForAppend(path);
  }
  if (fd < 0) return false;
  bool ok = true;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

}  // namespace duvane::platform
