#include "codepage/utf16_units.h"
#include "platform/codepage.h"
#include "platform/linux/iconv_converter.h"

namespace duvane::platform {
namespace {

// A narrow character is one byte, or two when the first is a lead byte.
size_t NarrowCharLength(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  if (lead >= 0x81 && lead <= 0xFE && s.size() >= 2) {
    auto trail = static_cast<unsigned char>(s[1]);
    if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
  }
  return 1;
}

// ASCII reads the same in UTF-8 and in the narrow code page; most requests
// are nothing else, and iconv costs more than the rest of a request.
bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

// Read into UTF-16 units first, as the Windows build does: invalid UTF-8
// then gives the same replacements, and a character above U+FFFF, which the
// code page cannot show, two "?" as its two units do there.
std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return WideToAnsi(codepage::Utf8ToUtf16Units(utf8));
}

std::string WideToAnsi(std::wstring_view units) {
  thread_local IconvConverter converter(kNarrowCodePage, kWideCharacters);
  // Without a descriptor nothing is shown rather than bytes of another code
  // page.
  if (!converter.Open()) return std::string(units.size(), '?');
  const std::string_view wide(reinterpret_cast<const char*>(units.data()),
                              units.size() * sizeof(wchar_t));
  return converter.Run(wide, [](std::string_view) { return sizeof(wchar_t); });
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  thread_local IconvConverter converter("UTF-8", kNarrowCodePage);
  return converter.Run(ansi, NarrowCharLength);
}

}  // namespace duvane::platform
