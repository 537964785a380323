#include <locale.h>
#include <wctype.h>

#include <atomic>

#include "platform/codepage.h"
#include "platform/linux/iconv_converter.h"

namespace duvane::platform {
namespace {

bool IsLeadByte(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 0x81 && byte <= 0xFE;
}

// ASCII letters follow the C locale's rules, which are built in and need no
// file.
locale_t AsciiCaseRules() {
  static const locale_t rules = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  return rules;
}

// The rest follows the C library's rules for all of Unicode (the narrow code
// page only decides which results can be shown). They are loaded from a file
// when first needed, so a service that only ever sees ASCII words does not
// hold them; a load that fails (no descriptor left) is tried again next time.
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

wint_t ToUpper(wint_t c) {
  const locale_t rules = c < 0x80 ? AsciiCaseRules() : UnicodeCaseRules();
  return rules != static_cast<locale_t>(0) ? towupper_l(c, rules) : c;
}

// The upper-case form of one narrow character, or the character itself when
// it has no single form that the code page can show.
std::string_view UpperCaseCharacter(std::string_view character, char (&buffer)[8]) {
  thread_local IconvConverter toWide(kWideCharacters, kNarrowCodePage);
  thread_local IconvConverter toNarrow(kNarrowCodePage, kWideCharacters);
  wchar_t wide = 0;
  if (toWide.Exact(character, reinterpret_cast<char*>(&wide), sizeof wide) != sizeof wide) {
    return character;
  }
  const wchar_t upper = static_cast<wchar_t>(ToUpper(static_cast<wint_t>(wide)));
  if (upper == wide) return character;
  size_t n = toNarrow.Exact(std::string_view(reinterpret_cast<const char*>(&upper), sizeof upper),
                            buffer, sizeof buffer);
  return n == 0 ? character : std::string_view(buffer, n);
}

}  // namespace

std::string UpperCaseAnsi(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  char buffer[8];
  for (size_t i = 0; i < ansi.size();) {
    const size_t length = IsLeadByte(ansi[i]) && i + 1 < ansi.size() ? 2 : 1;
    const std::string_view character = ansi.substr(i, length);
    if (static_cast<unsigned char>(character[0]) < 0x80) {
      out.push_back(static_cast<char>(ToUpper(static_cast<unsigned char>(character[0]))));
    } else {
      out += UpperCaseCharacter(character, buffer);
    }
    i += length;
  }
  return out;
}

}  // namespace duvane::platform
