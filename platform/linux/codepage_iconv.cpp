#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <atomic>

#include "platform/codepage.h"
#include "platform/linux/utf16_units.h"

namespace duvane::platform {
namespace {

constexpr const char* kNarrowCodePage = "GBK";
// glibc's wide characters are UCS-4 in the machine's byte order.
constexpr const char* kWideCharacters = "WCHAR_T";

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One converter per direction and thread: iconv descriptors carry shift state
// and must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : to_(to), from_(from) { Open(); }
  ~Converter() {
    if (cd_ != kNoConverter) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Opening may fail for want of descriptors (the first use may come while
  // the process has none left); it is tried again on the next use.
  bool Open() {
    if (cd_ == kNoConverter) cd_ = iconv_open(to_, from_);
    return cd_ != kNoConverter;
  }

  // Converts `in`; `skipBad` tells how many input bytes one unconvertible or
  // invalid character takes, each of which becomes one "?".
  template <typename SkipBad>
  std::string Run(std::string_view in, SkipBad skipBad) {
    std::string out;
    if (!Open()) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.reserve(in.size() * 3 / 2 + 8);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[1024];
    while (srcLeft > 0) {
      char* dst = chunk;
      size_t dstLeft = sizeof chunk;
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(chunk, sizeof chunk - dstLeft);
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: a character that cannot be converted, or cut short.
      size_t skip = skipBad(std::string_view(src, srcLeft));
      if (skip == 0 || skip > srcLeft) skip = srcLeft;
      src += skip;
      srcLeft -= skip;
      out.push_back('?');
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

  // Converts the whole of `in` into `out`, which must be large enough;
  // returns the bytes written, or 0 when any part cannot be converted.
  size_t Exact(std::string_view in, char* out, size_t outSize) {
    if (!Open()) return 0;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out;
    size_t dstLeft = outSize;
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) {
      return 0;
    }
    return outSize - dstLeft;
  }

 private:
  const char* to_;
  const char* from_;
  iconv_t cd_ = kNoConverter;
};

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
  thread_local Converter toWide(kWideCharacters, kNarrowCodePage);
  thread_local Converter toNarrow(kNarrowCodePage, kWideCharacters);
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

// Read into UTF-16 units first, as the Windows build does: invalid UTF-8
// then gives the same replacements, and a character above U+FFFF, which the
// code page cannot show, two "?" as its two units do there.
std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter converter(kNarrowCodePage, kWideCharacters);
  if (!converter.Open()) return std::string(utf8);
  const std::wstring units = Utf8ToUtf16Units(utf8);
  const std::string_view wide(reinterpret_cast<const char*>(units.data()),
                              units.size() * sizeof(wchar_t));
  return converter.Run(wide, [](std::string_view) { return sizeof(wchar_t); });
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  thread_local Converter converter("UTF-8", kNarrowCodePage);
  return converter.Run(ansi, NarrowCharLength);
}

}  // namespace duvane::platform
