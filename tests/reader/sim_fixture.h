// Test base: a private pcscd with simulated readers and a fresh copy of the
// library, plus readable views of the reader's APDU log.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sim_reader.h"
#include "trace_file.h"
#include "velmora_copy.h"

inline constexpr std::chrono::seconds kCardWait{10};

// "80 11 00 F0 00" style text to bytes (blanks ignored).
simreader::Bytes HexBytes(const std::string& text);
std::string HexText(const simreader::Bytes& bytes);

class VelmoraSimTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Starts pcscd with readers of these names (none by default but one
  // K370A) and loads a fresh library copy.
  void Start(std::vector<std::string> readerNames = {"Quorvell K370A Reader"},
             const std::string& tracePath = "");
  // Start() with the demo card on reader 0, the session opened and the log
  // cleared.
  void StartConnected(const simreader::MemoryCard& card);
  void StartConnected();

  simreader::SimReader& Reader(size_t index = 0) { return pcscd_->Reader(index); }
  VelmoraCopy& Lib() { return *library_; }
  void InsertCard(const simreader::MemoryCard& card, size_t index = 0);
  void InsertCard() { InsertCard(simreader::DemoCard()); }
  // The commands the reader received since the log was cleared, as hex text.
  std::vector<std::string> Sent(size_t index = 0);

 private:
  std::unique_ptr<simreader::SimPcscd> pcscd_;
  std::unique_ptr<VelmoraCopy> library_;
};

// A connected session whose library writes its trace to a file of the test.
class VelmoraTracedTest : public VelmoraSimTest {
 protected:
  // Opens the session on a reader holding the demo card and clears the log.
  void StartTraced() {
    ASSERT_NO_FATAL_FAILURE(Start({"Quorvell K370A Reader"}, trace_.Path()));
    ASSERT_NO_FATAL_FAILURE(InsertCard());
    ASSERT_GE(Lib().ReadCard_Init(0, 0), 1);
    Reader().ClearLog();
  }

  TraceFile trace_;
};
