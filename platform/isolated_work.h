// Calls into a vendor's library contained (isolation/), the way each system
// does it: a child process that serves the calls (Linux), or a guarded thread
// of their own (Windows).
#pragma once

#include <memory>

#include "isolation/isolated_work.h"

namespace duvane::platform {

std::unique_ptr<isolation::Isolation> CreateIsolation(const isolation::IsolatedWork& work,
                                                      isolation::IsolationSettings settings);

// The whole main of the serving program where the work runs in a process of
// its own (Linux): prepares the work with the program's first argument, then
// serves the calls until the service closes the connection. Returns the exit
// status.
int ServeIsolatedWork(const isolation::IsolatedWork& work, int argc, char** argv);

}  // namespace duvane::platform
