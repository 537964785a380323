#include <gtest/gtest.h>

#include <chrono>

#include "platform/host.h"

namespace {

// Whether or not this machine has a speaker, the caller gets the pause.
TEST(GetPidToneTest, BeepBlocksAtLeastItsDuration) {
  const auto start = std::chrono::steady_clock::now();
  duvane::platform::Beep(4000, 50);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(GetPidToneTest, BeepWithoutFrequencyIsSilentAndReturns) {
  const auto start = std::chrono::steady_clock::now();
  duvane::platform::Beep(0, 10);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
}

}  // namespace
