// The two commands that read a contactless memory card through the reader
// library: the card number ("GETCARDNO") and the serial with the card type
// ("GETCARDSN"). Both open the reader first when it is not open.
#pragma once

#include "service/daily_log.h"
#include "service/reader_library.h"
#include "service/reply_body.h"

namespace duvane {

ReplyBody GetCardNoCommand(ReaderLibrary& library, const DailyLog& log);
ReplyBody GetCardSnCommand(ReaderLibrary& library, const DailyLog& log);

}  // namespace duvane
