#include "service/command_table.h"

namespace duvane {

std::optional<size_t> FindCommand(std::string_view word) {
  for (size_t i = 0; i < CommandTable.size(); ++i) {
    if (CommandTable[i] == word) return i;
  }
  return std::nullopt;
}

}  // namespace duvane
