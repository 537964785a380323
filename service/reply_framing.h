// The bytes of a reply: the fixed header block and the UTF-8 body.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace duvane {

// Lines 1 to 8 of the header block, each with its blank before CR LF; the
// date is the local date of `today`.
std::string HeaderBlock(const platform::LocalTime& today);

// The Content-Length line that ends the header block.
std::string ContentLengthLine(size_t bodyBytes);

// A callback name is used only when it is 1 to 128 ASCII letters, digits,
// "_", "$" or "."; anything else could inject script into the page.
bool IsSafeCallbackName(std::string_view name);

// The body as sent: the JSON wrapped as callback(json) when the callback
// name is present and safe, the plain JSON otherwise.
std::string WrapInCallback(std::string_view callback, std::string json);

}  // namespace duvane
