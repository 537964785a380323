// The console that the program's messages are written to.
#pragma once

namespace duvane::platform {

// Makes the console show the UTF-8 text that the program writes to standard
// output and standard error. Does nothing where consoles take UTF-8 already
// or there is no console.
void UseUtf8Console();

}  // namespace duvane::platform
