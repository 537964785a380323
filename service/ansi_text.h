// The service's own texts are written in UTF-8 in the sources and used in the
// narrow code page (GBK) at run time.
#pragma once

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace duvane {

// Narrow form of a UTF-8 text of the service.
inline std::string Ansi(std::string_view utf8) { return platform::Utf8ToAnsi(utf8); }

// Upper-cases a narrow text: ASCII letters, and every other character that
// has a single upper-case form the code page can show. A lead byte and the
// byte after it are one character, so a trail byte that looks like a
// lower-case letter never changes. Never fails.
std::string UpperCaseAnsi(std::string_view ansi);

}  // namespace duvane
