// Facts about the running program.
#pragma once

#include <string>

namespace duvane::platform {

// The full path of the running program file, or "" when the system does not
// tell it.
std::string ExecutablePath();

// The folder that holds the running program, without a trailing separator,
// or "" when unknown. The same on every system (platform/common/).
std::string ExecutableFolder();

// The characters that end a folder's name in a path: "/" on Linux, the
// backslash and "/" on Windows.
extern const char* const kFolderSeparators;

}  // namespace duvane::platform
