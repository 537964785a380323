// Facts about the running program.
#pragma once

#include <string>

namespace duvane::platform {

// The full path of the running program file, or "" when the system does not
// tell it.
std::string ExecutablePath();

// The folder that holds the running program, without a trailing slash, or ""
// when unknown.
std::string ExecutableFolder();

}  // namespace duvane::platform
