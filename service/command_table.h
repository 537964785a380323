// The command words the service answers, in their fixed order, each with the
// handler that makes its reply body. A new command is one entry and one
// handler.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "service/daily_log.h"
#include "service/idcard/idcard_library.h"
#include "service/reader_library.h"
#include "service/reply_body.h"

namespace duvane {

// What a handler reaches of the service.
struct CommandContext {
  ReaderLibrary& library;
  const DailyLog& log;
  IdCardLibrary& idCard;
};

struct CommandEntry {
  std::string_view word;
  ReplyBody (*handler)(CommandContext& context);
};

extern const std::span<const CommandEntry> CommandTable;

// The index of the entry whose word equals `word` byte for byte, or nullopt.
std::optional<size_t> FindCommand(std::string_view word);

}  // namespace duvane
