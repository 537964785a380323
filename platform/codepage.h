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

// Upper-cases a narrow text by the system's case rules for wide text: every
// character that has a single upper-case form the code page can show takes
// that form (fullwidth Latin, Greek, Cyrillic, ...); every other keeps its
// bytes. A trail byte that looks like a lower-case letter never changes.
// Never fails.
std::string UpperCaseAnsi(std::string_view ansi);

}  // namespace duvane::platform
