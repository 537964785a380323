#include "platform/codepage.h"
#include "platform/windows/wide_text.h"

namespace duvane::platform {

std::string Utf8ToAnsi(std::string_view utf8) {
  return windows::FromWide(windows::ToWide(utf8, CP_UTF8), windows::kGbk);
}

std::string AnsiToUtf8(std::string_view ansi) {
  return windows::FromWide(windows::ToWide(ansi, windows::kGbk), CP_UTF8);
}

}  // namespace duvane::platform
