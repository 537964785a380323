// Reading the reader list that PC/SC hands out as a multi-string (names, each
// ended by a zero byte, the list ended by an empty name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The names up to the first empty one. Never looks past `length` bytes, even
// when the list lacks its terminating zeros.
std::vector<std::string> SplitReaderNames(const char* multiString, size_t length);

struct ReaderMatch {
  int32_t count = 0;     // matches of the model strings, one per string and name
  std::string lastName;  // the last name that matched
};

// Counts the served models among the names. A name is tested against each
// model string on its own, so a name holding both counts twice.
ReaderMatch MatchServedReaders(const std::vector<std::string>& names);

// Every name followed by '|', the last one too.
std::string JoinReaderNames(const std::vector<std::string>& names);

}  // namespace velmora
