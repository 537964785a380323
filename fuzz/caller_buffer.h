// A caller's buffer for the card fuzzer: exactly the size the library's
// interface states, on the heap so that ASan catches a byte read or written
// past it, and filled with a pattern that tells whether the library wrote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class CallerBuffer {
 public:
  explicit CallerBuffer(size_t size) : bytes_(new uint8_t[size]), size_(size) {
    for (size_t i = 0; i < size_; ++i) bytes_[i] = Pattern(i);
  }

  uint8_t* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  std::vector<uint8_t> Bytes() const { return {bytes_.get(), bytes_.get() + size_}; }

  bool UntouchedFrom(size_t offset) const {
    for (size_t i = offset; i < size_; ++i) {
      if (bytes_[i] != Pattern(i)) return false;
    }
    return true;
  }
  bool Untouched() const { return UntouchedFrom(0); }

  // True when the buffer starts with `count` bytes equal to `expected`.
  bool StartsWith(const uint8_t* expected, size_t count) const {
    return count == 0 || (count <= size_ && std::memcmp(bytes_.get(), expected, count) == 0);
  }

 private:
  static uint8_t Pattern(size_t at) { return static_cast<uint8_t>(0xA5 ^ (at * 29)); }

  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
};
