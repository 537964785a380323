#include "platform/console.h"

namespace duvane::platform {

// Terminals here show UTF-8, and streams never change line ends.
void PrepareConsoleOutput() {}

}  // namespace duvane::platform
