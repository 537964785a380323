// Percent-decoding of a received request.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace duvane {

// Decodes `source` up to its first zero byte: "%XY" becomes one byte (a byte
// that is not a hexadecimal digit counts as the value with all bits set, so
// "%G1" gives F1 and "%1G" gives FF), "+" becomes a blank, everything else is
// copied. A "%" with fewer than two bytes after it is copied as it stands.
// The result ends at a decoded zero byte (from "%00") and holds at most
// `capacity - 1` bytes, the size of a zero-terminated working buffer.
std::string UrlDecode(std::string_view source, size_t capacity);

}  // namespace duvane
