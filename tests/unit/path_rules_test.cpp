#include "win32/path_rules.h"

#include <gtest/gtest.h>

namespace pellux::win32 {
namespace {

TEST(PathRulesTest, CommandLineQuotesAPathWithBlanks) {
  EXPECT_EQ(QuotedCommandLine("C:\\Program Files\\Pellux\\Pellux.exe"),
            "\"C:\\Program Files\\Pellux\\Pellux.exe\"");
}

TEST(PathRulesTest, ModulePathSplitsIntoFolderAndBaseName) {
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

TEST(PathRulesTest, AFullBufferMayHoldACutPath) {
  EXPECT_TRUE(PathMayBeCut(260, 260));
  EXPECT_FALSE(PathMayBeCut(259, 260));
  EXPECT_FALSE(PathMayBeCut(kLongestPath, kLongestPath));
}

TEST(PathRulesTest, SystemLibraryIsNamedByItsFullPathOrNotAtAll) {
  struct Case { const char* folder; const char* path; };
  for (const Case& c : {Case{"C:\\Windows\\system32", "C:\\Windows\\system32\\version.dll"},
                        Case{"C:\\", "C:\\version.dll"},
                        Case{"\\\\server\\sys", "\\\\server\\sys\\version.dll"},
                        // A failed or relative answer would let the search find a planted copy.
                        Case{"", ""}, Case{"system32", ""}, Case{"C:system32", ""}}) {
    EXPECT_EQ(SystemLibraryPath(c.folder, "version.dll"), c.path) << c.folder;
  }
}

TEST(PathRulesTest, LongPathsTakeTheExtendedLengthForm) {
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
