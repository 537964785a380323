// Every result that a reply reports, with its "ResultCode" and "ResultMsg".
// All are sent with the HTTP status "200 OK".
#pragma once

#include <string_view>

#include "service/reply_body.h"

namespace duvane {

enum class Result {
  kSuccess,              // "0000", any command
  kUnknownCommand,       // "0001", the message followed by the command word
  kNoIdCardReader,       // "0100", GETPID
  kIdCardPortFailed,     // "0102", GETPID
  kIdCardReadFailed,     // "0102", GETPID, the message followed by the status
  kIdCardReadingFailed,  // "0103", GETPID: the reading raised, faulted or hung
  kReaderNotOpen,        // "0200", GETCARDNO and GETCARDSN
  kCardNoFailed,         // "0201", GETCARDNO
  kSerialFailed,         // "0201", GETCARDSN
};

// A body that starts with the result's code and its message in the narrow
// code page, `detail` (narrow text) right after the message.
ReplyBody ResultBody(Result result, std::string_view detail = {});

}  // namespace duvane
