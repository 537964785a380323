#include <windows.h>

#include "platform/clock.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

LocalTime NowLocal() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::string TimeSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 8) <= 1) return ":";
  // The log is in code page 936 like every other text of the service.
  return windows::FromWide(separator, windows::kGbk);
}

}  // namespace duvane::platform
