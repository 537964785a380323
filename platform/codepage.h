// Conversion between UTF-8 and the narrow code page of the workstations the
// service was made for: GBK, code page 936, on every system. The reader
// library's trace and the identity-card stand-in use the same two conversions
// (the library duvane_codepage); the upper-casing is the service's alone.
#pragma once

#include <string>
#include <string_view>

namespace duvane::platform {

// UTF-8 to the narrow code page, with the bytes of the Windows build's
// conversion: each invalid stretch of UTF-8 becomes one "?" by the rule of
// MultiByteToWideChar, each UTF-16 unit without a narrow form one "?" (two
// for a character above U+FFFF). Never fails.
std::string Utf8ToAnsi(std::string_view utf8);

// Narrow code page to UTF-8. Bytes that are not valid in the code page
// become "?". Never fails.
std::string AnsiToUtf8(std::string_view ansi);

// The upper-case form of one narrow character beyond ASCII (a lead byte and
// its trail byte, or a single byte) by the system's case rules for wide text,
// when it has a single one that the code page can show (fullwidth Latin,
// Greek, Cyrillic, ...); otherwise the character itself. Never fails.
std::string UpperCaseCharacter(std::string_view character);

}  // namespace duvane::platform
