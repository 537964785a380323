#include <locale.h>
#include <wctype.h>

#include <atomic>

#include "codepage/utf16_units.h"
#include "platform/codepage.h"
#include "platform/linux/iconv_converter.h"

namespace duvane::platform {
namespace {

// The C library's rules for all of Unicode (the code page only decides which
// results can be shown). They are loaded from a file when first needed, so a
// service that only ever sees ASCII words does not hold them; a load that
// fails (no descriptor left) is tried again next time.
locale_t UnicodeCaseRules() {
  static std::atomic<locale_t> rules{static_cast<locale_t>(0)};
  locale_t loaded = rules.load(std::memory_order_acquire);
  if (loaded != static_cast<locale_t>(0)) return loaded;
  loaded = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (loaded == static_cast<locale_t>(0)) return loaded;
  locale_t expected = static_cast<locale_t>(0);
  if (rules.compare_exchange_strong(expected, loaded)) return loaded;
  freelocale(loaded);  // another thread was first
  return expected;
}

}  // namespace

// A character that the code page cannot read comes back as "?", which has no
// upper case; one whose upper case it cannot show goes out as "?".
std::string UpperCaseCharacter(std::string_view character) {
  const locale_t rules = UnicodeCaseRules();
  const std::wstring wide = codepage::Utf8ToUtf16Units(AnsiToUtf8(character));
  if (rules == static_cast<locale_t>(0) || wide.size() != 1) return std::string(character);
  const wchar_t upper = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(wide[0]), rules));
  if (upper == wide[0]) return std::string(character);
  std::string narrow = WideToAnsi(std::wstring_view(&upper, 1));
  return narrow == "?" ? std::string(character) : narrow;
}

}  // namespace duvane::platform
