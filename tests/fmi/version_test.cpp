#include <gtest/gtest.h>

#include <cstring>

#include "support/fmu_host.h"

TEST(Version, AnswersBeforeAnyInstance) {
  host::Library lib;
  auto version = lib.get<const char* (*)()>("Pelvarin_fmiGetVersion");
  auto me_platform = lib.get<const char* (*)()>("Pelvarin_fmiGetModelTypesPlatform");
  ASSERT_NE(version, nullptr);
  ASSERT_NE(me_platform, nullptr);
  EXPECT_STREQ(version(), "1.0");
  EXPECT_STREQ(me_platform(), "standard32");
  auto cs_platform = lib.get<const char* (*)()>("Pelvarin_fmiGetTypesPlatform");
  ASSERT_NE(cs_platform, nullptr);
  EXPECT_STREQ(cs_platform(), me_platform());
}
