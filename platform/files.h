// Appending to files, for the daily log.
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

// Appends `bytes` to the file at `path` in one write, creating the file (and
// its folder, when missing) first. Opens and closes the file on every call so
// each line is in the file on return and others may move or delete it
// between calls. Returns false when the bytes could not be written.
bool AppendToFile(const std::string& path, std::string_view bytes);

}  // namespace duvane::platform
