#include "platform/process_info.h"

namespace duvane::platform {

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t separator = path.find_last_of(kFolderSeparators);
  if (separator == std::string::npos) return {};
  return path.substr(0, separator);
}

}  // namespace duvane::platform
