// The machine the service runs on: its console, its speaker, and the fixed
// places of the service's files. The places are no settings: the program
// passes them to its components, which take them as parameters so that
// tests can give others.
#pragma once

#include <cstdint>

namespace duvane::platform {

// Makes standard output and standard error take the program's messages as
// they are written: UTF-8 text, shown as such on a console, and line ends
// unchanged (no carriage return added before a line feed). Does nothing
// where that is so already. A console changed for this is set back when the
// program exits.
void PrepareConsoleOutput();

// Sounds frequencyHz for durationMs and returns when the tone has ended.
// Where the machine has no speaker it stays silent but still takes
// durationMs, because callers rely on the pause.
void Beep(uint32_t frequencyHz, uint32_t durationMs);

// Folder of the daily log files, ending with the folder separator: "C:\" on
// Windows, "/var/log/duvane/" on Linux.
extern const char* const kLogFolder;
// File name of the reader library, loaded from the program's own folder:
// "Velmora.dll" on Windows, "libVelmora.so" on Linux.
extern const char* const kReaderLibraryFile;
// File name of the identity-card library: "ZetIDCardAPI.dll" on Windows,
// which the program imports; "libZetIDCardAPI.so" on Linux, which the helper
// loads from its own folder first.
extern const char* const kIdCardLibraryFile;
// File name of the program beside the service that runs the identity-card
// library's calls on Linux ("duvane-idcard"); "" on Windows, where the
// service runs them itself.
extern const char* const kIdCardHelperFile;
// Where service registrations are kept: systemd's unit folder on Linux; ""
// on Windows, where the service control manager keeps them.
extern const char* const kServiceRegistry;

}  // namespace duvane::platform
