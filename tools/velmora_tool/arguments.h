// The command line of velmora-tool: one subcommand with its operands, and the
// options --trace, --json and --help anywhere on the line.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora_tool {

enum class Command { kNone, kReaders, kCard, kCardNo, kRead, kApdu };

// The key a memory card leaves the factory with.
inline constexpr std::array<uint8_t, 6> kFactoryKey{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The APDU length travels in one byte; a command shorter than its four
// header bytes is no APDU.
inline constexpr size_t kShortestApdu = 4;
inline constexpr size_t kLongestApdu = 255;

struct Invocation {
  Command command = Command::kNone;
  bool help = false;
  bool version = false;
  bool trace = false;
  bool json = false;
  int32_t block = 0;                         // read
  std::array<uint8_t, 6> key = kFactoryKey;  // read
  std::vector<uint8_t> apdu;                 // apdu
};

struct ParsedArguments {
  std::optional<Invocation> invocation;
  std::string error;  // set when the line is not a valid use; invocation is then empty
};

// `arguments` without the program name.
ParsedArguments ParseArguments(const std::vector<std::string_view>& arguments);

std::string_view CommandName(Command command);

// The help of one subcommand, or the program's help for kNone.
std::string UsageText(Command command);

// Hexadecimal digits, blanks between them allowed, to bytes; nothing when a
// character is not a digit or the count of digits is odd.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text);

}  // namespace velmora_tool
