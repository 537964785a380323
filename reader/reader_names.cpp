#include "reader_names.h"

#include <array>
#include <cstring>
#include <string_view>

namespace velmora {
namespace {

constexpr std::array<std::string_view, 2> kServedModels{"Quorvell K360A Reader",
                                                        "Quorvell K370A Reader"};

}  // namespace

std::vector<std::string> SplitReaderNames(const char* multiString, size_t length) {
  std::vector<std::string> names;
  if (multiString == nullptr) return names;
  size_t position = 0;
  while (position < length) {
    const char* start = multiString + position;
    const void* end = std::memchr(start, '\0', length - position);
    const size_t nameLength = end == nullptr
                                  ? length - position
                                  : static_cast<size_t>(static_cast<const char*>(end) - start);
    if (nameLength == 0) break;
    names.emplace_back(start, nameLength);
    position += nameLength + 1;
  }
  return names;
}

ReaderMatch MatchServedReaders(const std::vector<std::string>& names) {
  ReaderMatch match;
  for (const std::string& name : names) {
    for (std::string_view model : kServedModels) {
      if (name.find(model) == std::string_view::npos) continue;
      ++match.count;
      match.lastName = name;
    }
  }
  return match;
}

std::string JoinReaderNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    joined += name;
    joined += '|';
  }
  return joined;
}

}  // namespace velmora
