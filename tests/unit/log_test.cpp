#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "log/event_log.h"

namespace pellux {
namespace {

struct LineCase {
  LocalTime when;
  std::string text;
  std::string line;
};

// Keeps the parameter out of the test's name.
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.line.substr(0, 21); }

class FormatLogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FormatLogLineTest, WritesStampCommaQuotedTextCrLf) {
  EXPECT_EQ(FormatLogLine(GetParam().when, GetParam().text), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FormatLogLineTest,
    ::testing::Values(
        LineCase{{2020, 6, 7, 17, 3, 28}, "PelluxMONITOR - STARTED!!!",
                 "#2020-06-07 17:03:28#,\"PelluxMONITOR - STARTED!!!\"\r\n"},
        // Exactly midnight: the date alone between the number signs.
        LineCase{{2021, 1, 2, 0, 0, 0}, "x", "#2021-01-02#,\"x\"\r\n"},
        // One second past midnight keeps its time.
        LineCase{{2021, 1, 2, 0, 0, 1}, "x", "#2021-01-02 00:00:01#,\"x\"\r\n"},
        LineCase{{2009, 12, 31, 23, 59, 59}, "", "#2009-12-31 23:59:59#,\"\"\r\n"},
        // Quotes and carriage returns inside the text are written as they are.
        LineCase{{2020, 6, 7, 9, 5, 1}, "a \"b\"\rc", "#2020-06-07 09:05:01#,\"a \"b\"\rc\"\r\n"},
        // 8-bit text passes through untouched.
        LineCase{{2020, 6, 7, 9, 5, 1}, "C:\\Archivos\\Se\xF1or.exe - 1234",
                 "#2020-06-07 09:05:01#,\"C:\\Archivos\\Se\xF1or.exe - 1234\"\r\n"}));

class EventLogTest : public ::testing::Test {
 protected:
  static constexpr const char* kPath = "C:\\Monitor\\PelluxMONITOR.anc";
  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  EventLog log{files, clock};
};

TEST_F(EventLogTest, AbsentFileKeepsLoggingOffAndCreatesNothing) {
  log.InitLog(LogFileBeside("C:\\Monitor"));
  log.WriteLogLine("PelluxMONITOR - STARTED!!!");
  EXPECT_FALSE(log.IsOn());
  EXPECT_EQ(log.LogFilePath(), "");
  EXPECT_FALSE(files.Has(kPath));
  EXPECT_EQ(files.appends, 0);
}

TEST_F(EventLogTest, PresentFileSwitchesLoggingOnWithTheBanner) {
  files.AddFile(kPath);
  log.InitLog(LogFileBeside("C:\\Monitor"));
  log.WriteLogLine("PelluxMONITOR - STARTED!!!");
  EXPECT_EQ(log.LogFilePath(), kPath);
  EXPECT_EQ(files.Contents(kPath),
            "#2020-06-07 17:03:28#,\"i==============================   MAIN   "
            "==============================\"\r\n"
            "#2020-06-07 17:03:28#,\"PelluxMONITOR - STARTED!!!\"\r\n");
  EXPECT_EQ(std::string(kLogBanner).size(), 71u);
}

TEST_F(EventLogTest, EachLineIsItsOwnAppendSoADeletedFileComesBack) {
  files.AddFile(kPath);
  log.InitLog(LogFileBeside("C:\\Monitor"));
  files.Remove(kPath);
  log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  EXPECT_EQ(files.Contents(kPath), "#2020-06-07 17:03:28#,\"Timer1 - BEFORE 'CALL Pellux_MONITOR'\"\r\n");
  EXPECT_EQ(files.appends, 2);
}

TEST_F(EventLogTest, FileCreatedAfterStartDoesNotStartLogging) {
  log.InitLog(LogFileBeside("C:\\Monitor"));
  files.AddFile(kPath);
  log.WriteLogLine("x");
  EXPECT_EQ(files.Contents(kPath), "");
}

TEST_F(EventLogTest, UnwritableLogIsSkippedSilently) {
  // A directory of that name counts as present; the lines then go nowhere.
  files.AddDirectory(kPath);
  log.InitLog(LogFileBeside("C:\\Monitor"));
  EXPECT_TRUE(log.IsOn());
  log.WriteLogLine("one");
  files.entries[kPath] = {"", false, /*readOnly=*/true};
  log.WriteLogLine("two");
  EXPECT_EQ(files.Contents(kPath), "");
  EXPECT_EQ(files.appends, 3);  // banner, one, two: each tried once, none raised
}

// The core's texts are UTF-8; the file keeps the ANSI code page its readers
// expect, so a folder with accents reads as it did when the scan read paths
// in that code page. The folder of the log itself may lie outside it.
TEST_F(EventLogTest, LinesAreWrittenInTheCodePage) {
  const std::string folder = "C:\\Planta\\Control Num\xC3\xA9rico";  // Numérico
  files.AddFile(folder + "\\PelluxMONITOR.anc");
  log.InitLog(LogFileBeside(folder));
  log.WriteLogLine("Falta el Archivo 'Ctl.exe' en la Carpeta '" + folder + "'");
  log.WriteLogLine("C:\\Planta\\Se\xC3\xB1" "al\\Se\xC3\xB1" "al.exe - 1000");
  const std::vector<std::string> texts = fakes::LogTextsAfterBanner(files.Contents(folder + "\\PelluxMONITOR.anc"));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Falta el Archivo 'Ctl.exe' en la Carpeta 'C:\\Planta\\Control Num\xE9rico'",
                       "C:\\Planta\\Se\xF1" "al\\Se\xF1" "al.exe - 1000"}));
}

}  // namespace
}  // namespace pellux
