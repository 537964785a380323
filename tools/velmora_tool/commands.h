// The subcommands, each a short sequence of the library's exports as a host
// would call them.
#pragma once

#include "arguments.h"
#include "report.h"

namespace velmora_tool {

// Runs the invocation's command (not kNone) against the attached readers.
Report RunCommand(const Invocation& invocation);

}  // namespace velmora_tool
