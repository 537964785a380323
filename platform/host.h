// The machine the service runs on: the program's own place, its console, its
// speaker, and the fixed places of the service's files. The places are no
// settings: the program passes them to its components, so that tests can give
// others.
#pragma once

#include <cstdint>
#include <string>

namespace duvane::platform {

// The full path of the running program file, or "" when the system does not
// tell it.
std::string ExecutablePath();

// The characters that end a folder's name in a path: "/" on Linux, the
// backslash and "/" on Windows.
extern const char* const kFolderSeparators;

// The folder that holds the running program, without a trailing separator,
// or "" when unknown.
inline std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t separator = path.find_last_of(kFolderSeparators);
  if (separator == std::string::npos) return {};
  return path.substr(0, separator);
}

// Makes standard output and standard error take the program's messages as
// they are written: UTF-8 shown as such on a console, line ends unchanged. A
// console changed for this is set back when the program exits.
void PrepareConsoleOutput();

// Sounds frequencyHz for durationMs. Without a speaker it stays silent but
// still takes durationMs: callers rely on the pause.
void Beep(uint32_t frequencyHz, uint32_t durationMs);

// Folder of the daily log files, ending with the folder separator.
extern const char* const kLogFolder;
// File name of the reader library, loaded from the program's own folder.
extern const char* const kReaderLibraryFile;
// File name of the identity-card library.
extern const char* const kIdCardLibraryFile;
// The program beside the service that runs the identity-card library's calls
// where they run in a process of their own (Linux); "" where the service runs
// them itself.
extern const char* const kIdCardHelperFile;
// Where service registrations are kept; "" where the manager keeps them
// itself.
extern const char* const kServiceRegistry;

}  // namespace duvane::platform
