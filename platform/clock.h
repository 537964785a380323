// The wall clock as the log shows it.
#pragma once

#include <string>

namespace duvane::platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

// The local date and time, to the second.
LocalTime NowLocal();

// The separator between hours, minutes and seconds in the regional settings
// of the workstation (read when called); ":" where the system has none.
std::string TimeSeparator();

}  // namespace duvane::platform
