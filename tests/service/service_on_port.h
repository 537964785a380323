// Test fixture: the service in-process (tests/support/in_process_service.h)
// with the identity-card stand-in's simulated reader, so tests talk to it
// through real sockets and read its log.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/service/gbk.h"
#include "tests/support/in_process_service.h"
#include "tests/support/service_checks.h"

namespace duvane {

using namespace std::chrono_literals;

using testsupport::ExpectedReply;
using testsupport::LogTail;
using testsupport::NextAcceptedSocket;

inline const std::string kUnknownFoo =
    "{\"ResultCode\":\"0001\",\"ResultMsg\":\"不可识别命令字FOO\"}";

// Bytes of the photo that the simulated identity-card reader hands out; as
// Base64 they are kPhotoBytes * 4 / 3 letters "A".
inline constexpr size_t kPhotoBytes = 6000;

class ServiceOnEphemeralPort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/duvane-holder-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    holder_ = std::string(tmpl) + "/";
    // Before any thread runs: the stand-in reads its setting at every look-up.
    std::ofstream(holder_ + "photo.bin", std::ios::binary) << std::string(kPhotoBytes, '\0');
    std::ofstream(holder_ + "holder.txt") << "name=x\nphoto=" << holder_ << "photo.bin\n";
    setenv("ZETIDCARD_SIM", (holder_ + "holder.txt").c_str(), 1);
    service_.emplace();
    port_ = service_->Port();
    ASSERT_NE(port_, 0);
  }

  void TearDown() override {
    service_.reset();
    std::filesystem::remove_all(holder_);
  }

  std::string holder_;
  std::optional<testsupport::InProcessService> service_;
  uint16_t port_ = 0;
};

}  // namespace duvane
