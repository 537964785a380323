#include "service/command_table.h"

#include <string>

namespace duvane {

std::optional<size_t> FindCommand(std::string_view word) {
  for (size_t i = 0; i < CommandTable.size(); ++i) {
    if (CommandTable[i] == word) return i;
  }
  return std::nullopt;
}

std::string UpperCaseAnsi(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    auto byte = static_cast<unsigned char>(out[i]);
    if (byte >= 0x81 && byte <= 0xFE && i + 1 < out.size()) {
      ++i;  // lead byte: the next byte belongs to the same character
    } else if (byte >= 'a' && byte <= 'z') {
      out[i] = static_cast<char>(byte - 'a' + 'A');
    }
  }
  return out;
}

}  // namespace duvane
