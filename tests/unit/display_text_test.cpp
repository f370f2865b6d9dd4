#include "win32/display_text.h"

#include <algorithm>
#include <iterator>

#include <gtest/gtest.h>

namespace pellux::win32 {
namespace {

TEST(DisplayTextTest, LoneCrGetsItsLineFeedOnlyWhereMissing) {
  struct Case {
    const char* in;
    const char* out;
  };
  for (const Case& c : {Case{"a\rb", "a\r\nb"}, Case{"a\r\nb", "a\r\nb"}, Case{"a\r", "a\r\n"},
                        Case{"\r\r", "\r\n\r\n"}, Case{"", ""}, Case{"a\nb", "a\nb"}}) {
    EXPECT_EQ(LoneCrToCrLf(c.in), c.out) << c.in;
  }
}

TEST(DisplayTextTest, TipFieldIsCopiedWholeAndAlwaysEndsWithinIt) {
  char source[64];
  char target[64];
  std::fill(std::begin(source), std::end(source), 'x');
  CopyTipField(source, target, 64);
  EXPECT_EQ(target[63], '\0');
  EXPECT_EQ(target[62], 'x');
  source[10] = '\0';
  CopyTipField(source, target, 64);
  EXPECT_EQ(target[10], '\0');
  EXPECT_EQ(target[63], 'x');  // after a NUL the bytes are the record's, unchanged
}

}  // namespace
}  // namespace pellux::win32
