#include "win32/utf_conversion.h"

#include <gtest/gtest.h>

namespace pellux::win32 {
namespace {

TEST(UtfConversionTest, PathsGoBetweenUtf16AndUtf8Unchanged) {
  struct Case {
    std::u16string wide;
    std::string utf8;
  };
  for (const Case& c : {Case{u"C:\\Monitor", "C:\\Monitor"}, Case{u"C:\\Мониторинг Ωμέγα", "C:\\Мониторинг Ωμέγα"},
                        Case{u"C:\\Łukasz\\\U0001F600", "C:\\Łukasz\\\xF0\x9F\x98\x80"},
                        // The last low surrogate, U+DFFF, pairs like any other.
                        Case{u"\U000103FF\U0010FFFF", "\xF0\x90\x8F\xBF\xF4\x8F\xBF\xBF"},
                        // A lone surrogate, legal in a Windows file name, keeps its three bytes.
                        Case{std::u16string(u"a") + char16_t(0xD800) + u"b",
                             "a\xED\xA0\x80"
                             "b"}}) {
    EXPECT_EQ(Utf16ToUtf8(c.wide), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.wide) << c.utf8;
  }
}

TEST(UtfConversionTest, BrokenUtf8BecomesReplacementCharacters) {
  for (const char* broken : {"\xC0\xAF", "\xE0\x80\xAF", "\xF5\x80\x80\x80", "\xC3", "\x80"}) {
    const std::u16string wide = Utf8ToUtf16(broken);
    EXPECT_EQ(wide.find_first_not_of(u'\uFFFD'), std::u16string::npos) << broken;
  }
}

}  // namespace
}  // namespace pellux::win32
