#include "platform/unsent_bytes.h"

#include <algorithm>

namespace duvane::platform {
namespace {

// Sent bytes are dropped from the front only once they are this many and
// at least half of what is held, so each byte is moved at most once or twice.
constexpr size_t kCompactAfter = 64 * 1024;

}  // namespace

bool UnsentBytes::Append(std::string_view bytes) {
  if (bytes.size() > limit_ - Size()) return false;
  bytes_.append(bytes);
  return true;
}

void UnsentBytes::Consume(size_t count) {
  sent_ += std::min(count, Size());
  if (sent_ == bytes_.size()) {
    // Drained: an idle connection holds no memory for the replies it had.
    std::string().swap(bytes_);
    sent_ = 0;
  } else if (sent_ >= kCompactAfter && sent_ * 2 >= bytes_.size()) {
    bytes_.erase(0, sent_);
    sent_ = 0;
  }
}

}  // namespace duvane::platform
