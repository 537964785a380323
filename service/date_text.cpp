#include "service/date_text.h"

namespace duvane {
namespace {

// Writes `value` zero-padded to `width` characters, like "%0*d", and returns
// the end of what it wrote (at most 12 characters).
char* PutPadded(char* at, long long value, int width) {
  if (value < 0) {
    *at++ = '-';
    value = -value;
    --width;
  }
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = count; pad < width; ++pad) *at++ = '0';
  while (count > 0) *at++ = digits[--count];
  return at;
}

}  // namespace

void AppendDate(std::string& out, const platform::LocalTime& t, char separator) {
  char text[48];
  char* at = PutPadded(text, t.year, 4);
  if (separator != '\0') *at++ = separator;
  at = PutPadded(at, t.month, 2);
  if (separator != '\0') *at++ = separator;
  at = PutPadded(at, t.day, 2);
  out.append(text, static_cast<size_t>(at - text));
}

void AppendTime(std::string& out, const platform::LocalTime& t, std::string_view separator) {
  char text[16];
  out.append(text, static_cast<size_t>(PutPadded(text, t.hour, 2) - text));
  out += separator;
  out.append(text, static_cast<size_t>(PutPadded(text, t.minute, 2) - text));
  out += separator;
  out.append(text, static_cast<size_t>(PutPadded(text, t.second, 2) - text));
}

}  // namespace duvane
