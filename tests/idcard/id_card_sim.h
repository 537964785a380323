// Test side of the identity-card stand-in: a private folder with holder
// files, the environment that switches the simulation on, the call log, and
// a tone recorder to pass to the command.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "service/reply_body.h"

namespace idcardtest {

struct Tone {
  uint32_t frequencyHz;
  uint32_t durationMs;
  bool operator==(const Tone&) const = default;
};

// Every tone since the last ClearTones; RecordTone is the ToneFunction.
void RecordTone(uint32_t frequencyHz, uint32_t durationMs);
const std::vector<Tone>& Tones();
void ClearTones();

// Members of a reply body with their values in UTF-8.
std::vector<std::pair<std::string, std::string>> Utf8Members(const duvane::ReplyBody& body);

// Each test gets its own folder and call log, and a cleared tone record. The
// simulation starts off (no holder file): no reader.
class IdCardSimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a holder file (UTF-8 key=value lines) and points the simulation
  // at it. Returns its path.
  std::filesystem::path UseHolder(const std::string& contents,
                                  const std::string& name = "holder.txt");
  std::filesystem::path WriteFile(const std::string& name, const std::string& bytes);
  // Calls recorded by the stand-in since the test began, oldest first.
  std::vector<std::string> CallLog() const;

  std::filesystem::path folder_;
};

}  // namespace idcardtest
