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

TEST(Win32TextTest, PathsGoBetweenUtf16AndUtf8Unchanged) {
  struct Case { std::u16string wide; std::string utf8; };
  for (const Case& c : {Case{u"C:\\Monitor", "C:\\Monitor"},
                        Case{u"C:\\Мониторинг Ωμέγα", "C:\\Мониторинг Ωμέγα"},
                        Case{u"C:\\Łukasz\\\U0001F600", "C:\\Łukasz\\\xF0\x9F\x98\x80"},
                        // A lone surrogate, legal in a Windows file name, keeps its three bytes.
                        Case{std::u16string(u"a") + char16_t(0xD800) + u"b", "a\xED\xA0\x80" "b"}}) {
    EXPECT_EQ(Utf16ToUtf8(c.wide), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.wide) << c.utf8;
  }
}

TEST(Win32TextTest, BrokenUtf8BecomesReplacementCharacters) {
  for (const char* broken : {"\xC0\xAF", "\xE0\x80\xAF", "\xF5\x80\x80\x80", "\xC3", "\x80"}) {
    const std::u16string wide = Utf8ToUtf16(broken);
    EXPECT_EQ(wide.find_first_not_of(u'\uFFFD'), std::u16string::npos) << broken;
  }
}

TEST(Win32TextTest, SystemLibraryIsNamedByItsFullPathOrNotAtAll) {
  struct Case { const char* folder; const char* path; };
  for (const Case& c : {Case{"C:\\Windows\\system32", "C:\\Windows\\system32\\version.dll"},
                        Case{"C:\\", "C:\\version.dll"},
                        Case{"\\\\server\\sys", "\\\\server\\sys\\version.dll"},
                        // A failed or relative answer would let the search find a planted copy.
                        Case{"", ""}, Case{"system32", ""}, Case{"C:system32", ""}}) {
    EXPECT_EQ(SystemLibraryPath(c.folder, "version.dll"), c.path) << c.folder;
  }
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

namespace pellux::win32 {
namespace {

TEST(Win32TextTest, LongPathsTakeTheExtendedLengthForm) {
  const std::string deep(300, 'd');
  const std::pair<std::string, std::string> kRows[] = {
      {"C:\\Monitor\\Pellux.stp", "C:\\Monitor\\Pellux.stp"},
      {"C:\\" + deep, "\\\\?\\C:\\" + deep},
      {"\\\\server\\share\\" + deep, "\\\\?\\UNC\\server\\share\\" + deep},
      {"\\\\?\\C:\\" + deep, "\\\\?\\C:\\" + deep},
      {"relative\\" + deep, "relative\\" + deep},
  };
  for (const auto& [path, expected] : kRows) EXPECT_EQ(ExtendedLengthPath(path), expected) << path;
}

}  // namespace
}  // namespace pellux::win32
