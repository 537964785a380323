// Dates and times as the log and the reply headers write them, built by hand:
// every request writes several of them, and snprintf was the largest
// user-space cost of a request.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace duvane {

// Appends "yyyymmdd", with `separator` between the parts when it is not '\0'.
void AppendDate(std::string& out, const platform::LocalTime& time, char separator);

// Appends "hh:nn:ss" with `separator` in place of ":".
void AppendTime(std::string& out, const platform::LocalTime& time, std::string_view separator);

}  // namespace duvane
