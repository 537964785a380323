#include "service/command_table.h"

#include "service/card_commands.h"
#include "service/idcard/get_pid_command.h"

namespace duvane {
namespace {

constexpr CommandEntry kCommands[] = {
    {"GETCARDNO", [](CommandContext& c) { return GetCardNoCommand(c.library, c.log); }},
    {"GETCARDSN", [](CommandContext& c) { return GetCardSnCommand(c.library, c.log); }},
    {"GETPID", [](CommandContext& c) { return GetPidCommand(c.idCard); }},
};

}  // namespace

const std::span<const CommandEntry> CommandTable(kCommands);

std::optional<size_t> FindCommand(std::string_view word) {
  for (size_t i = 0; i < CommandTable.size(); ++i) {
    if (CommandTable[i].word == word) return i;
  }
  return std::nullopt;
}

}  // namespace duvane
