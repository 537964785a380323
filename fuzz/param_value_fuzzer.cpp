// Query items of arbitrary parameter strings, and the callback look-up on them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "service/param_value.h"

namespace {

void CheckItems(std::string_view text, char delimiter) {
  size_t total = 0;
  for (const std::string& item : duvane::SplitItems(text, delimiter)) total += item.size();
  // Items are pieces of the text (a doubled quote shrinks to one): together
  // they can never be longer than the text they came from.
  if (total > text.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string name = input.ConsumeRandomLengthString(16);
  const std::string params = input.ConsumeRemainingBytesAsString();

  CheckItems(params, '&');
  CheckItems(params, '=');
  for (std::string_view looked : {std::string_view("CALLBACK"), std::string_view(name)}) {
    const std::string value = duvane::GetParamValue(params, looked);
    // Blanks are removed before the split, so no value can hold one.
    if (value.find(' ') != std::string::npos) std::abort();
    if (value.size() > params.size()) std::abort();
  }
  return 0;
}
