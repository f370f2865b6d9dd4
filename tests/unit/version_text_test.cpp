#include "win32/version_text.h"

#include <gtest/gtest.h>

namespace pellux::win32 {
namespace {

TEST(VersionTextTest, VersionTextFromTheFixedHalves) {
  EXPECT_EQ(VersionText(0x00010000, 0x00000000), "1.0.0.0");
  EXPECT_EQ(VersionText(0x0002000A, 0x0003FFFF), "2.10.3.65535");
}

}  // namespace
}  // namespace pellux::win32
