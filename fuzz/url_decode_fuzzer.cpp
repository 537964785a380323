// Percent-decoding of arbitrary received bytes into a bounded working buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "service/url_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // Small capacities too: the cut at the buffer's end must hold for any size.
  const size_t capacity = input.ConsumeIntegralInRange<size_t>(0, 10240);
  const std::string source = input.ConsumeRemainingBytesAsString();

  const std::string decoded = duvane::UrlDecode(source, capacity);

  // Never more than fits with its zero terminator, never longer than the
  // source, and a decoded zero byte always ends the text.
  if (capacity > 0 && decoded.size() > capacity - 1) std::abort();
  if (capacity == 0 && !decoded.empty()) std::abort();
  if (decoded.size() > source.size()) std::abort();
  if (decoded.find('\0') != std::string::npos) std::abort();
  return 0;
}
