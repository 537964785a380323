#include "isolation/call_protocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace duvane::isolation {

bool SendTag(ByteStream& stream, WorkTag tag) {
  const unsigned char byte = static_cast<unsigned char>(tag);
  return stream.Send(&byte, 1);
}

bool SendText(ByteStream& stream, WorkTag tag, std::string_view text) {
  std::array<char, 1 + kWorkTextSize> message{};
  message[0] = static_cast<char>(tag);
  // The last byte stays zero: the text always ends inside its field.
  std::memcpy(message.data() + 1, text.data(), std::min(text.size(), kWorkTextSize - 1));
  return stream.Send(message.data(), message.size());
}

Transfer ReceiveText(ByteStream& stream, std::string& text, Deadline deadline) {
  std::array<char, kWorkTextSize> field{};
  const Transfer transfer = stream.Receive(field.data(), field.size(), deadline);
  if (transfer == Transfer::kDone) {
    text.assign(field.data(), std::find(field.begin(), field.end(), '\0'));
  }
  return transfer;
}

}  // namespace duvane::isolation
