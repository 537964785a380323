#include "platform/console.h"

namespace duvane::platform {

// Terminals here show the UTF-8 they are given.
void UseUtf8Console() {}

}  // namespace duvane::platform
