// The query string of a request: items separated by "&", each "name=value".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace duvane {

// Splits `text` into items at `delimiter`. Leading characters with codes 1 to
// 32 are skipped; an item that starts with a double quote runs to the next
// quote that is not doubled (a doubled quote stands for one); any other item
// ends before the first character with a code of 32 or less, or the
// delimiter. Two delimiters in a row give an empty item between them, and a
// delimiter at the very end gives an empty last item.
std::vector<std::string> SplitItems(std::string_view text, char delimiter);

// The value that `params` gives to `name` (compared without regard to case,
// blanks in `params` removed first), or "" when no item names it. Items with
// more or fewer than one "=" are passed over; the first match wins.
std::string GetParamValue(std::string_view params, std::string_view name);

}  // namespace duvane
