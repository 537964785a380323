#include "codepage/utf16_units.h"

namespace duvane::codepage {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

unsigned Bits(unsigned char continuation) { return continuation & 0x3Fu; }

// Continuation bytes that a start byte asks for; 0 when it starts nothing.
size_t ContinuationsAfter(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// One character read from its start byte and the `more` bytes at `next`
// (there are that many): its value, or kInvalid with `used` telling how
// many of those bytes the replacement takes.
constexpr char32_t kInvalid = 0xFFFFFFFF;

char32_t ReadSequence(unsigned char lead, const unsigned char* next, size_t more, size_t& used) {
  used = 0;
  if (!IsContinuation(next[0])) return kInvalid;
  if (more == 1) {
    used = 1;
    return (lead & 0x1Fu) << 6 | Bits(next[0]);
  }
  char32_t value = (more == 2 ? lead & 0x0Fu : lead & 0x07u) << 6 | Bits(next[0]);
  used = 1;
  if (more == 2) {
    const bool overlong = value < 0x20;
    const bool surrogate = value >= 0x360 && value <= 0x37F;
    if (overlong || surrogate || !IsContinuation(next[1])) return kInvalid;
    used = 2;
    return value << 6 | Bits(next[1]);
  }
  if (value < 0x10 || !IsContinuation(next[1])) return kInvalid;  // overlong
  value = value << 6 | Bits(next[1]);
  if (value >= 0x4400) return kInvalid;  // above U+10FFFF
  used = 2;
  if (!IsContinuation(next[2])) return kInvalid;
  used = 3;
  return value << 6 | Bits(next[2]);
}

void AppendUnits(std::wstring& out, char32_t value) {
  if (value < 0x10000) {
    out.push_back(static_cast<wchar_t>(value));
    return;
  }
  value -= 0x10000;
  out.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
  out.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
}

}  // namespace

std::wstring Utf8ToUtf16Units(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  for (size_t i = 0; i < size;) {
    const unsigned char lead = bytes[i++];
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      continue;
    }
    const size_t more = ContinuationsAfter(lead);
    if (more == 0) {
      out.push_back(kReplacement);
      continue;
    }
    if (size - i < more) {  // cut short by the end of the text
      out.push_back(kReplacement);
      break;
    }
    size_t used = 0;
    const char32_t value = ReadSequence(lead, bytes + i, more, used);
    i += used;
    AppendUnits(out, value == kInvalid ? kReplacement : value);
  }
  return out;
}

}  // namespace duvane::codepage
