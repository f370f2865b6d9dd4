#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "supervision/control_file.h"
#include "tray/tray_icon.h"

namespace pellux {
namespace {

using Fields = std::vector<std::string>;

TEST(ReadFirstTwoFieldsTest, SplitsAsTheLogWritesARecord) {
  struct Case {
    const char* name;
    std::string content;
    Fields fields;
  };
  const Case cases[] = {
      {"log record", "#2020-06-07 17:03:28#,\"hold\"\r\n", {"#2020-06-07 17:03:28#", "hold"}},
      {"plain", "a,STOP", {"a", "STOP"}},
      {"CR LF between", "a\r\nEND\r\n", {"a", "END"}},
      {"lone CR", "a\rEND", {"a", "END"}},
      {"lone LF", "a\nEND", {"a", "END"}},
      {"only two read", "a,b,c,d", {"a", "b"}},
      {"comma in quotes", "\"x,y\",\"HOLD\"", {"x,y", "HOLD"}},
      {"line end in quotes", "\"x\r\ny\",END", {"x\r\ny", "END"}},
      {"unterminated quote", "a,\"HOLD", {"a", "HOLD"}},
      {"unterminated first", "\"a,HOLD", {"a,HOLD"}},
      {"blanks dropped", "  a  ,  hold \t", {"a", "hold"}},
      {"blank before quote", "a, \"hold\"", {"a", "hold"}},
      {"blanks kept in quotes", "a,\" hold \"", {"a", " hold "}},
      {"after closing quote", "a,\"HOLD\"xyz,more", {"a", "HOLD"}},
      {"junk after first quote", "\"a\"junk,HOLD", {"a", "HOLD"}},
      {"empty second", "a,,END", {"a", ""}},
      {"empty quoted", "a,\"\"", {"a", ""}},
      {"one field", "#2020-06-07#\r\n", {"#2020-06-07#"}},
      {"trailing comma", "a,", {"a"}},
      {"empty", "", {}},
      {"NUL kept", std::string("a,ST\0OP", 7), {"a", std::string("ST\0OP", 5)}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadFirstTwoFields(c.content), c.fields) << c.name;
}

class ControlFileTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolder = "C:\\Monitor";
  static constexpr const char* kBeside = "C:\\Monitor\\Pellux.stp";

  ControlOutcome Evaluate() { return EvaluateControlFile(files, kFolder, "1.0.0.0"); }
  static void ExpectNormal(const ControlOutcome& o, const std::string& why = {}) {
    EXPECT_FALSE(o.end) << why;
    EXPECT_EQ(o.picture, 0) << why;
    EXPECT_EQ(o.tip, std::string("PelluxMONITOR - v1.0.0.0") + '\0') << why;
  }

  fakes::FakeFileSystem files;
};

TEST_F(ControlFileTest, CommandTable) {
  struct Case {
    std::string content;
    bool end;
    int picture;
    std::string tip;
  };
  const std::string version = std::string("PelluxMONITOR - v1.0.0.0") + '\0';
  const std::string holding = std::string("PelluxMONITOR - Holding") + '\0';
  const Case cases[] = {
      {"#2020-06-07 17:03:28#,\"STOP\"\r\n", false, 4, holding},
      {"#2020-06-07 17:03:28#,\"HOLD\"\r\n", false, 4, holding},
      {"#2020-06-07 17:03:28#,\"hold\"\r\n", false, 4, holding},  // case-insensitive
      {"x,Stop", false, 4, holding},
      {"#2020-06-07 17:03:28#,\"END\"\r\n", true, 0, ""},
      {"x,end", true, 0, ""},
      {"x,STOPPED", false, 0, version},  // the whole field is compared
      {"x,HOLDING", false, 0, version},
      {"x,ENDE", false, 0, version},
      {"x,RUN", false, 0, version},
      {"STOP", false, 0, version},         // the command is the second field, not the first
      {"x,\" HOLD\"", false, 0, version},  // blanks inside quotes count
  };
  for (const Case& c : cases) {
    files.AddFile(kBeside, c.content);
    const ControlOutcome o = Evaluate();
    EXPECT_EQ(o.end, c.end) << c.content;
    if (!c.end) {
      EXPECT_EQ(o.picture, c.picture) << c.content;
      EXPECT_EQ(o.tip, c.tip) << c.content;
    }
  }
}

TEST_F(ControlFileTest, AbsentDriveDAndNoFileBesideIsNormal) {
  ExpectNormal(Evaluate());
  EXPECT_EQ(files.existsAsked, (std::vector<std::string>{"D:\\Pellux.stp", kBeside}));
  EXPECT_TRUE(files.readsAsked.empty());
}

TEST_F(ControlFileTest, TipCarriesTheVersion) {
  EXPECT_EQ(EvaluateControlFile(files, kFolder, "0.0.0.0").tip, std::string("PelluxMONITOR - v0.0.0.0") + '\0');
}

TEST_F(ControlFileTest, DriveDWinsAndOnlyOneFileIsRead) {
  files.AddFile("D:\\Pellux.stp", "#2020-06-07#,\"END\"");
  files.AddFile(kBeside, "#2020-06-07#,\"HOLD\"");
  EXPECT_TRUE(Evaluate().end);
  EXPECT_EQ(files.readsAsked, (std::vector<std::string>{"D:\\Pellux.stp"}));
  EXPECT_EQ(files.existsAsked, (std::vector<std::string>{"D:\\Pellux.stp"}));
}

TEST_F(ControlFileTest, ProgramFolderFileUsedWithoutD) {
  files.AddFile(kBeside, "#2020-06-07#,\"HOLD\"");
  EXPECT_EQ(Evaluate().picture, 4);
  EXPECT_EQ(files.readsAsked, (std::vector<std::string>{kBeside}));
}

TEST_F(ControlFileTest, DirectoryOnDStillWinsAndMeansNormal) {
  files.AddDirectory("D:\\Pellux.stp");
  files.AddFile(kBeside, "x,END");
  ExpectNormal(Evaluate());
  EXPECT_EQ(files.readsAsked, (std::vector<std::string>{"D:\\Pellux.stp"}));
}

TEST_F(ControlFileTest, ReadIsBounded) {
  // A huge file whose second field only ends far beyond the bound.
  files.AddFile(kBeside, "x," + std::string(std::size_t{10} * 1024 * 1024, 'A'));
  ExpectNormal(Evaluate());
  EXPECT_EQ(files.lastReadLimit, kControlFileReadLimit);
  EXPECT_EQ(kControlFileReadLimit, 64u * 1024);
}

TEST_F(ControlFileTest, BadInputsAreNormal) {
  struct Case {
    const char* name;
    std::string content;
  };
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
  const Case cases[] = {
      {"empty", ""},
      {"one field", "#2020-06-07 17:03:28#\r\n"},
      {"one field HOLD", "HOLD"},
      {"unterminated quote", "x,\"HOLD,"},
      {"NUL in the command", std::string("x,HO\0LD", 7)},
      {"NUL after the command", std::string("x,END\0", 6)},
      {"binary", binary},
      {"only line ends", "\r\n\r\n\r\n"},
      {"very long line", std::string(100000, 'x') + ",END"},
      {"very long second field", "x," + std::string(100000, 'E')},
  };
  for (const Case& c : cases) {
    files.AddFile(kBeside, c.content);
    ExpectNormal(Evaluate(), c.name);
  }
}

TEST_F(ControlFileTest, BinaryBeforeARealCommandStillCounts) {
  files.AddFile(kBeside, std::string("\x01\xff\0#", 4) + ",\"end\"\r\ngarbage");
  EXPECT_TRUE(Evaluate().end);
}

TEST_F(ControlFileTest, UnreadableFileIsNormal) {
  files.AddFile(kBeside, "x,END");
  files.entries[kBeside].locked = true;  // held open without sharing by its writer
  ExpectNormal(Evaluate());
  files.entries[kBeside].locked = false;
  EXPECT_TRUE(Evaluate().end) << "takes effect once the writer lets go";
}

TEST_F(ControlFileTest, NoLatchedState) {
  files.AddFile(kBeside, "x,HOLD");
  EXPECT_EQ(Evaluate().picture, 4);
  files.Remove(kBeside);
  ExpectNormal(Evaluate());
}

}  // namespace
}  // namespace pellux
