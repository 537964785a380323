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
    localtime_r(&now, &parts);
    cached = LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    cachedSecond = now;
  }
  return cached;
}

std::string TimeSeparator() { return ":"; }

uint32_t TickCountMs() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t milliseconds) {
  struct timespec ts {};
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace duvane::platform
