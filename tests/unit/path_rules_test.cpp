#include "win32/path_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pellux::win32 {
namespace {

TEST(PathRulesTest, CommandLineQuotesAPathWithBlanks) {
  EXPECT_EQ(QuotedCommandLine("C:\\Program Files\\Pellux\\Pellux.exe"), "\"C:\\Program Files\\Pellux\\Pellux.exe\"");
}

TEST(PathRulesTest, ModulePathSplitsIntoFolderAndBaseName) {
  struct Case {
    const char* in;
    const char* folder;
    const char* base;
  };
  for (const Case& c : {Case{"C:\\Monitor\\PelluxMONITOR.exe", "C:\\Monitor", "PelluxMONITOR"},
                        Case{"C:\\a.b\\Copy of X.exe", "C:\\a.b", "Copy of X"},
                        Case{"C:\\dir\\noext", "C:\\dir", "noext"}, Case{"C:\\x.y.exe", "C:", "x.y"}}) {
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
  struct Case {
    const char* folder;
    const char* path;
  };
  for (const Case& c : {Case{"C:\\Windows\\system32", "C:\\Windows\\system32\\version.dll"},
                        Case{"C:\\", "C:\\version.dll"}, Case{"\\\\server\\sys", "\\\\server\\sys\\version.dll"},
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

// A path read wide comes to the core in UTF-8; one that may be cut, by the
// query or by the longer UTF-8 form, asks for a larger buffer.
TEST(PathRulesTest, PathReadWideIsHandedOnInUtf8OrAskedForAgain) {
  struct Case {
    std::string utf8;
    bool queryFull;
    std::uint32_t capacity, answer;
    std::string held;
  };
  const std::string senal =
      "C:\\Planta\\Se\xC3\xB1"
      "al\\Se\xC3\xB1"
      "al.exe";  // 25 characters, 27 bytes
  const Case cases[] = {
      {"C:\\x.exe", false, 260, 8, "C:\\x.exe"},
      {senal, false, 260, 27, senal},
      {senal, false, 27, 27, senal},                // fills the buffer: may be cut, again
      {senal, false, 25, 25, senal.substr(0, 25)},  // fits its characters, not its bytes
      {senal, false, 26, 26, senal.substr(0, 26)},
      {senal, true, 260, 260, senal},  // the query itself may have cut it
      {"", false, 260, 0, ""},
  };
  for (const Case& c : cases) {
    // Exactly capacity bytes, so that the sanitizers see a terminator written past them.
    std::vector<char> buffer(c.capacity, ' ');
    EXPECT_EQ(HandOnPath(c.utf8, c.queryFull, buffer.data(), c.capacity), c.answer) << c.utf8;
    EXPECT_EQ(std::string(buffer.data(), std::min<std::size_t>(c.held.size(), c.capacity)), c.held) << c.utf8;
  }
}

// What decides whether a control file's look may wait for the network: a
// share always; a drive only by its kind, which the system tells.
TEST(PathRulesTest, SharesAndDrivesAreToldApart) {
  struct Case {
    const char* path;
    bool share;
    const char* root;
  };
  for (const Case& c :
       {Case{"\\\\srv\\ctl\\Pellux.stp", true, ""}, Case{"//srv/ctl/Pellux.stp", true, ""},
        Case{"\\\\?\\UNC\\srv\\ctl\\Pellux.stp", true, ""}, Case{"\\\\?\\unc\\srv\\ctl\\Pellux.stp", true, ""},
        Case{"\\\\?\\D:\\Pellux.stp", false, "D:\\"}, Case{"\\\\.\\pipe\\x", false, ""},
        Case{"D:\\Pellux.stp", false, "D:\\"}, Case{"z:\\a\\Pellux.stp", false, "z:\\"},
        Case{"C:\\Monitor\\Pellux.stp", false, "C:\\"}, Case{"Pellux.stp", false, ""}, Case{"\\Pellux.stp", false, ""},
        Case{"1:\\x", false, ""}}) {
    EXPECT_EQ(IsSharePath(c.path), c.share) << c.path;
    EXPECT_EQ(DriveRoot(c.path), c.root) << c.path;
  }
}

}  // namespace
}  // namespace pellux::win32
