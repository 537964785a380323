#include "arguments.h"

#include <charconv>

namespace velmora_tool {
namespace {

constexpr std::string_view kKeyOption = "--key";
constexpr size_t kQuotedLength = 32;

struct CommandInfo {
  Command command;
  std::string_view name;
  std::string_view help;
};

constexpr CommandInfo kCommands[] = {
    {Command::kReaders, "readers",
     "Usage: velmora-tool readers [--json] [--trace]\n"
     "Lists every attached PC/SC reader, marks those of a served model (Quorvell\n"
     "K360A, K370A) and tells which one the library opens. The library opens a\n"
     "reader only when exactly one of a served model is attached.\n"},
    {Command::kCard, "card",
     "Usage: velmora-tool card [--json] [--trace]\n"
     "Opens the reader and shows the serial number and the type of the memory card\n"
     "on it (Card_Init). The serial is shown as the service reports it (the four\n"
     "bytes read as a little-endian number) and byte by byte.\n"},
    {Command::kCardNo, "cardno",
     "Usage: velmora-tool cardno [--json] [--trace]\n"
     "Reads the card number from block 1 and accepts it only when block 2 holds its\n"
     "MD5 check value (Card_ReadCardNo); on failure shows the result code and what\n"
     "it means.\n"},
    {Command::kRead, "read",
     "Usage: velmora-tool read BLOCK [--key HEX12] [--json] [--trace]\n"
     "Reads one 16-byte block (0 to 255) of the memory card and shows it in\n"
     "hexadecimal. The key (12 hexadecimal digits, default FFFFFFFFFFFF) is loaded\n"
     "into the reader first.\n"},
    {Command::kApdu, "apdu",
     "Usage: velmora-tool apdu HEX [--json] [--trace]\n"
     "Sends one APDU of 4 to 255 bytes, written in hexadecimal (blanks allowed), to\n"
     "the processor card (CPUCard_RunApdu) and shows the answer data and the status\n"
     "word. Only 90 00 counts as success.\n"},
};

constexpr std::string_view kProgramHelp =
    "Usage: velmora-tool [--json] [--trace] COMMAND [ARGUMENTS]\n"
    "Checks the card readers and cards through the Velmora reader library.\n"
    "\n"
    "Commands:\n"
    "  readers               the attached readers and the one the library opens\n"
    "  card                  the card's serial number and type\n"
    "  cardno                the card number with its MD5 check\n"
    "  read BLOCK [--key K]  one memory-card block in hexadecimal\n"
    "  apdu HEX              one APDU to a processor card, with its answer\n"
    "\n"
    "Options:\n"
    "  --json     print each result as one JSON object on standard output\n"
    "  --trace    show the library's trace of every reader command on standard error\n"
    "  --help     show this help, or a command's help after the command\n"
    "  --version  show the version\n"
    "\n"
    "The reader is opened exclusively: stop the service first (systemctl stop DuvaneS).\n"
    "\n"
    "Exit status: 0 success, 1 reader or card failure, 2 bad usage.\n";

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

// An argument as it may appear in a message: short, and without bytes that
// would steer a terminal.
std::string Quoted(std::string_view argument) {
  std::string shown;
  for (char c : argument.substr(0, kQuotedLength)) {
    const auto byte = static_cast<unsigned char>(c);
    shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
  }
  if (argument.size() > kQuotedLength) shown += "...";
  return "'" + shown + "'";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<int32_t> ParseBlock(std::string_view text) {
  int32_t block = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), block);
  if (error != std::errc() || end != text.data() + text.size() || block < 0 || block > 255) {
    return std::nullopt;
  }
  return block;
}

std::optional<std::array<uint8_t, 6>> ParseKey(std::string_view text) {
  if (text.size() != 12) return std::nullopt;
  const auto bytes = ParseHexBytes(text);
  if (!bytes) return std::nullopt;
  std::array<uint8_t, 6> key{};
  std::copy(bytes->begin(), bytes->end(), key.begin());
  return key;
}

// What the options and words of the line say, before the operands are judged.
struct Words {
  std::vector<std::string_view> operands;  // the command's own words
  std::optional<std::string_view> key;
  std::string error;
};

// Takes the options out of `arguments` into `invocation`; the first plain
// word names the command.
Words SortWords(const std::vector<std::string_view>& arguments, Invocation& invocation,
                std::optional<std::string_view>& commandWord) {
  Words words;
  for (size_t i = 0; i < arguments.size() && words.error.empty(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      invocation.help = true;
    } else if (argument == "--version") {
      invocation.version = true;
    } else if (argument == "--trace") {
      invocation.trace = true;
    } else if (argument == "--json") {
      invocation.json = true;
    } else if (argument == kKeyOption) {
      if (i + 1 == arguments.size())
        words.error = "--key needs 12 hexadecimal digits";
      else
        words.key = arguments[++i];
    } else if (argument.starts_with("--key=")) {
      words.key = argument.substr(kKeyOption.size() + 1);
    } else if (argument.size() > 1 && argument.front() == '-') {
      words.error = "unknown option " + Quoted(argument);
    } else if (!commandWord) {
      commandWord = argument;
    } else {
      words.operands.push_back(argument);
    }
  }
  return words;
}

std::string ReadOperands(const Words& words, Invocation& invocation) {
  if (words.operands.size() != 1) return "read needs one BLOCK number";
  const auto block = ParseBlock(words.operands.front());
  if (!block) return "BLOCK must be a number from 0 to 255, not " + Quoted(words.operands.front());
  invocation.block = *block;
  if (!words.key) return {};
  const auto key = ParseKey(*words.key);
  if (!key) return "the key must be 12 hexadecimal digits, not " + Quoted(*words.key);
  invocation.key = *key;
  return {};
}

std::string ApduOperands(const Words& words, Invocation& invocation) {
  if (words.operands.empty()) return "apdu needs the APDU in hexadecimal";
  std::string joined;
  for (std::string_view operand : words.operands) joined.append(operand);
  const auto bytes = ParseHexBytes(joined);
  if (!bytes) return "the APDU must be pairs of hexadecimal digits, not " + Quoted(joined);
  if (bytes->size() < kShortestApdu || bytes->size() > kLongestApdu) {
    return "an APDU has 4 to 255 bytes, not " + std::to_string(bytes->size());
  }
  invocation.apdu = *bytes;
  return {};
}

std::string JudgeOperands(const Words& words, Invocation& invocation) {
  if (words.key && invocation.command != Command::kRead) return "--key belongs to read";
  switch (invocation.command) {
    case Command::kRead:
      return ReadOperands(words, invocation);
    case Command::kApdu:
      return ApduOperands(words, invocation);
    default:
      if (!words.operands.empty()) return "unexpected argument " + Quoted(words.operands.front());
      return {};
  }
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string_view>& arguments) {
  Invocation invocation;
  std::optional<std::string_view> commandWord;
  const Words words = SortWords(arguments, invocation, commandWord);
  if (!words.error.empty()) return {std::nullopt, words.error};
  if (commandWord) {
    const CommandInfo* info = FindCommand(*commandWord);
    if (info == nullptr) return {std::nullopt, "unknown command " + Quoted(*commandWord)};
    invocation.command = info->command;
  }
  if (invocation.help || invocation.version) return {invocation, {}};
  if (invocation.command == Command::kNone) return {std::nullopt, "no command given"};
  std::string error = JudgeOperands(words, invocation);
  if (!error.empty()) return {std::nullopt, std::move(error)};
  return {invocation, {}};
}

std::string_view CommandName(Command command) {
  for (const CommandInfo& info : kCommands) {
    if (info.command == command) return info.name;
  }
  return {};
}

std::string UsageText(Command command) {
  for (const CommandInfo& info : kCommands) {
    if (info.command == command) return std::string(info.help);
  }
  return std::string(kProgramHelp);
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ') continue;
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

}  // namespace velmora_tool
