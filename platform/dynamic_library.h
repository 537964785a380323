// Loading shared libraries at run time and finding their exported names.
#pragma once

#include <string>

namespace duvane::platform {

// A loaded library; null when nothing is loaded.
using ModuleHandle = void*;

struct LoadedLibrary {
  ModuleHandle handle = nullptr;
  std::string error;  // why loading failed; empty on success
};

// Loads a library by file name. A bare name is looked for in the folder of the
// running program (then, on Linux, by the system's library search); a name
// with a folder is loaded from that path only.
// When the file is in the program's folder but cannot be loaded there, that
// failure is the result: a copy found elsewhere would not be the library that
// was shipped with the program.
LoadedLibrary LoadDynamicLibrary(const std::string& fileName);

// The address of an exported name, or null when the library lacks it.
void* FindSymbol(ModuleHandle library, const char* name);

// Returns why unloading failed, or "".
std::string UnloadDynamicLibrary(ModuleHandle library);

}  // namespace duvane::platform
