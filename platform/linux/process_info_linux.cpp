#include <limits.h>
#include <unistd.h>

#include "platform/process_info.h"

namespace duvane::platform {

std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  // A full buffer may be a cut path; a path that long is not worth guessing.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return {};
  return std::string(path, static_cast<size_t>(length));
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}

}  // namespace duvane::platform
