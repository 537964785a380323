// Facts about the running program.
#pragma once

#include <string>

namespace duvane::platform {

// The full path of the running program file, or "" when the system does not
// tell it.
std::string ExecutablePath();

// The characters that end a folder's name in a path: "/" on Linux, the
// backslash and "/" on Windows.
extern const char* const kFolderSeparators;

// The folder that holds the running program, without a trailing separator,
// or "" when unknown.
inline std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t separator = path.find_last_of(kFolderSeparators);
  if (separator == std::string::npos) return {};
  return path.substr(0, separator);
}

}  // namespace duvane::platform
