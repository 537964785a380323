// The command words the service answers, in their fixed order.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace duvane {

inline constexpr std::array<std::string_view, 3> CommandTable = {"GETCARDNO", "GETCARDSN",
                                                                 "GETPID"};
enum CommandIndex : size_t { kGetCardNo = 0, kGetCardSn = 1, kGetPid = 2 };

// The index of the entry equal to `word` byte for byte, or nullopt.
std::optional<size_t> FindCommand(std::string_view word);

}  // namespace duvane
