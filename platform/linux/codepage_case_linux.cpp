#include <locale.h>
#include <wctype.h>

#include <atomic>

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

std::string UpperCaseCharacter(std::string_view character) {
  thread_local IconvConverter toWide(kWideCharacters, kNarrowCodePage);
  thread_local IconvConverter toNarrow(kNarrowCodePage, kWideCharacters);
  wchar_t wide = 0;
  const locale_t rules = UnicodeCaseRules();
  if (rules == static_cast<locale_t>(0) ||
      toWide.Exact(character, reinterpret_cast<char*>(&wide), sizeof wide) != sizeof wide) {
    return std::string(character);
  }
  const wchar_t upper = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(wide), rules));
  if (upper == wide) return std::string(character);
  char narrow[8];
  const size_t n = toNarrow.Exact(
      std::string_view(reinterpret_cast<const char*>(&upper), sizeof upper), narrow, sizeof narrow);
  return n == 0 ? std::string(character) : std::string(narrow, n);
}

}  // namespace duvane::platform
