#include <time.h>

#include "platform/clock.h"

namespace duvane::platform {

LocalTime NowLocal() {
  // Every request reads the clock several times within the same second;
  // converting to local time is what costs.
  thread_local time_t cachedSecond = -1;
  thread_local LocalTime cached;
  const time_t now = time(nullptr);
  if (now != cachedSecond) {
    struct tm parts {};
    // A time the calendar cannot hold keeps the last one known.
    if (localtime_r(&now, &parts) == nullptr) return cached;
    cached = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    cachedSecond = now;
  }
  return cached;
}

std::string TimeSeparator() { return ":"; }

}  // namespace duvane::platform
