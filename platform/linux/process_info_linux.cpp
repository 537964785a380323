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

const char* const kFolderSeparators = "/";

}  // namespace duvane::platform
