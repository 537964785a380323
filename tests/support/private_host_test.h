// Test support: the fixture of every test that runs the real program in the
// private host; each starts with an empty log folder. Without root the tests
// are skipped.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/private_host.h"

namespace testsupport {

class PrivateHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EnterPrivateHost()) GTEST_SKIP() << "needs root for private namespaces";
    ClearLogFolder();
  }
};

}  // namespace testsupport
