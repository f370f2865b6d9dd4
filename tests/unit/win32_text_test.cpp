#include "win32/win32_text.h"

#include <gtest/gtest.h>

namespace pellux::win32 {
namespace {

TEST(Win32TextTest, CommandLineQuotesAPathWithBlanks) {
  EXPECT_EQ(QuotedCommandLine("C:\\Program Files\\Pellux\\Pellux.exe"),
            "\"C:\\Program Files\\Pellux\\Pellux.exe\"");
}

TEST(Win32TextTest, LoneCrGetsItsLineFeedOnlyWhereMissing) {
  struct Case { const char* in; const char* out; };
  for (const Case& c : {Case{"a\rb", "a\r\nb"}, Case{"a\r\nb", "a\r\nb"}, Case{"a\r", "a\r\n"},
                        Case{"\r\r", "\r\n\r\n"}, Case{"", ""}, Case{"a\nb", "a\nb"}}) {
    EXPECT_EQ(LoneCrToCrLf(c.in), c.out) << c.in;
  }
}

TEST(Win32TextTest, ModulePathSplitsIntoFolderAndBaseName) {
  struct Case { const char* in; const char* folder; const char* base; };
  for (const Case& c : {Case{"C:\\Monitor\\PelluxMONITOR.exe", "C:\\Monitor", "PelluxMONITOR"},
                        Case{"C:\\a.b\\Copy of X.exe", "C:\\a.b", "Copy of X"},
                        Case{"C:\\dir\\noext", "C:\\dir", "noext"},
                        Case{"C:\\x.y.exe", "C:", "x.y"}}) {
    const ModulePathParts parts = SplitModulePath(c.in);
    EXPECT_EQ(parts.folder, c.folder) << c.in;
    EXPECT_EQ(parts.baseName, c.base) << c.in;
  }
}

TEST(Win32TextTest, AFullBufferMayHoldACutPath) {
  EXPECT_TRUE(PathMayBeCut(260, 260));
  EXPECT_FALSE(PathMayBeCut(259, 260));
  EXPECT_FALSE(PathMayBeCut(kLongestPath, kLongestPath));
}

TEST(Win32TextTest, VersionTextFromTheFixedHalves) {
  EXPECT_EQ(VersionText(0x00010000, 0x00000000), "1.0.0.0");
  EXPECT_EQ(VersionText(0x0002000A, 0x0003FFFF), "2.10.3.65535");
}

TEST(Win32TextTest, TipFieldIsCopiedWholeAndAlwaysEndsWithinIt) {
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
