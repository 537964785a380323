#include "pcsc_values.h"

#include <limits>

namespace velmora {
namespace {

int32_t Low32Signed(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

uint32_t PcscCodeBits(LONG code) { return static_cast<uint32_t>(static_cast<uint64_t>(code)); }

int32_t ConnectFailureResult(LONG code) {
  const int32_t result = Low32Signed(code);
  return result < 0 ? result : -1;
}

int32_t DeviceValueFromHandle(SCARDHANDLE handle) {
  const int32_t low = Low32Signed(handle);
  if (low == 0) return 1;
  if (low == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
  return low < 0 ? -low : low;
}

}  // namespace velmora
