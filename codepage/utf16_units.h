// UTF-8 read the way the Windows build reads it (MultiByteToWideChar with
// UTF-8 and no flags), so that broken request bytes give the same number of
// "?" on both systems.
#pragma once

#include <string>
#include <string_view>

namespace duvane::codepage {

// The UTF-16 code units of `utf8`, one per wide character (characters above
// U+FFFF as a surrogate pair). Each invalid stretch becomes one U+FFFD:
// - a byte that cannot start a character (80 to C1, F5 to FF);
// - a start byte whose sequence needs more bytes than the text has left,
//   together with everything left;
// - a start byte with the continuation bytes read before the first that
//   cannot belong to the sequence; a second byte that already shows an
//   overlong form or a surrogate (E0 80..9F, ED A0..BF, F0 80..8F) belongs
//   to it, a third byte that shows a value above U+10FFFF (F4 90 and up)
//   does not.
std::wstring Utf8ToUtf16Units(std::string_view utf8);

}  // namespace duvane::codepage
