// The console that the program's messages are written to.
#pragma once

namespace duvane::platform {

// Makes standard output and standard error take the program's messages as
// they are written: UTF-8 text, shown as such on a console, and line ends
// unchanged (no carriage return added before a line feed). Does nothing
// where that is so already. A console changed for this is set back when the
// program exits.
void PrepareConsoleOutput();

}  // namespace duvane::platform
