// The serving side of isolated work, on systems that run it in a child
// process of its own (Linux): the whole main of that program.
#pragma once

#include "platform/isolated_work.h"

namespace duvane::platform {

// Prepares the work with the program's first argument, then serves the calls
// that arrive on the connection the service handed down, one after another,
// until the service closes it. Returns the program's exit status.
int ServeIsolatedWork(const IsolatedWork& work, int argc, char** argv);

}  // namespace duvane::platform
