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
    ::testing::Values(LineCase{{2020, 6, 7, 17, 3, 28},
                               "PelluxMONITOR - STARTED!!!",
                               "#2020-06-07 17:03:28#,\"PelluxMONITOR - STARTED!!!\"\r\n"},
                      // Exactly midnight: the date alone between the number signs.
                      LineCase{{2021, 1, 2, 0, 0, 0}, "x", "#2021-01-02#,\"x\"\r\n"},
                      // One second past midnight keeps its time.
                      LineCase{{2021, 1, 2, 0, 0, 1}, "x", "#2021-01-02 00:00:01#,\"x\"\r\n"},
                      LineCase{{2009, 12, 31, 23, 59, 59}, "", "#2009-12-31 23:59:59#,\"\"\r\n"},
                      // Quotes and carriage returns inside the text are written as they are.
                      LineCase{{2020, 6, 7, 9, 5, 1}, "a \"b\"\rc", "#2020-06-07 09:05:01#,\"a \"b\"\rc\"\r\n"},
                      // 8-bit text passes through untouched.
                      LineCase{{2020, 6, 7, 9, 5, 1},
                               "C:\\Archivos\\Se\xF1or.exe - 1234",
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
  // Once the file takes lines again, their count goes once, at the head of the next batch.
  files.entries[kPath].readOnly = false;
  {
    const LogBatch batch(log);
    log.WriteLogLine("three");
    log.WriteLogLine("four");
  }
  log.WriteLogLine("five");
  EXPECT_EQ(fakes::LogTextsAfterBanner(files.Contents(kPath)),
            (std::vector<std::string>{"LOG LLENO - 3 Lineas NO Escritas!!!", "three", "four", "five"}));
  EXPECT_EQ(log.LinesLost(), 3u);
}

// The core's texts are UTF-8; the file keeps the ANSI code page its readers
// expect, so a folder with accents reads as it did when the scan read paths
// in that code page. The folder of the log itself may lie outside it.
TEST_F(EventLogTest, LinesAreWrittenInTheCodePage) {
  const std::string folder = "C:\\Planta\\Control Num\xC3\xA9rico";  // Numérico
  files.AddFile(folder + "\\PelluxMONITOR.anc");
  log.InitLog(LogFileBeside(folder));
  log.WriteLogLine("Falta el Archivo 'Ctl.exe' en la Carpeta '" + folder + "'");
  log.WriteLogLine(
      "C:\\Planta\\Se\xC3\xB1"
      "al\\Se\xC3\xB1"
      "al.exe - 1000");
  const std::vector<std::string> texts = fakes::LogTextsAfterBanner(files.Contents(folder + "\\PelluxMONITOR.anc"));
  EXPECT_EQ(texts,
            (std::vector<std::string>{"Falta el Archivo 'Ctl.exe' en la Carpeta 'C:\\Planta\\Control Num\xE9rico'",
                                      "C:\\Planta\\Se\xF1"
                                      "al\\Se\xF1"
                                      "al.exe - 1000"}));
}

// Where the full live file goes: ".1" before the extension of its name.
TEST(RolledLogFileTest, OneBeforeTheExtensionOrAtTheEnd) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"C:\\Monitor\\PelluxMONITOR.anc", "C:\\Monitor\\PelluxMONITOR.1.anc"},
      {"C:\\Logs\\monitor", "C:\\Logs\\monitor.1"},
      {"C:\\Logs.d\\monitor", "C:\\Logs.d\\monitor.1"},  // a dot in the folder is no extension
      {"\\\\srv\\logs\\a.b.log", "\\\\srv\\logs\\a.b.1.log"},
      {"C:\\Logs\\.anc", "C:\\Logs\\.anc.1"},  // a name that begins with a dot has no extension
  };
  for (const auto& [live, rolled] : rows) EXPECT_EQ(RolledLogFile(live), rolled) << live;
}

class LogLimitTest : public EventLogTest {
 protected:
  static constexpr const char* kRolled = "C:\\Monitor\\PelluxMONITOR.1.anc";
  static constexpr std::size_t kLimit = std::size_t{64} * 1024;
  // A line of exactly size bytes in the file.
  static std::string Text(std::size_t size) { return std::string(size - 26, 'x'); }
  void Start(std::size_t liveBytes) {
    files.AddFile(kPath, std::string(liveBytes, '.'));
    log.SetLimitKB(1);  // below the least: counts as 64 KB
    log.InitLog(kPath);
  }
  const std::string banner = FormatLogLine(clock.now, kLogBanner);
};

// A line that would take the live file past the limit renames it to the .1
// file, replacing the older one, and begins a new live file with that line.
TEST_F(LogLimitTest, ALineThatWouldPassTheLimitRollsTheFileOver) {
  files.AddFile(kRolled, "older");
  Start(kLimit - banner.size() - 10);
  log.WriteLogLine("PelluxMONITOR - STARTED!!!");
  EXPECT_EQ(files.Contents(kRolled), std::string(kLimit - banner.size() - 10, '.') + banner);
  EXPECT_EQ(files.Contents(kPath), FormatLogLine(clock.now, "PelluxMONITOR - STARTED!!!"));
  // A line that ends exactly at the limit stays in the live file.
  log.WriteLogLine(Text(kLimit - files.Contents(kPath).size()));
  EXPECT_EQ(files.Contents(kPath).size(), kLimit);
  EXPECT_EQ(files.replaces, 1);
  // A line longer than the limit that finds the live file empty (a reader emptied it) is written there:
  // an empty file is never rolled over onto the older one.
  files.entries[kPath].contents.clear();
  log.WriteLogLine(Text(kLimit + 100));
  EXPECT_EQ(files.Contents(kPath).size(), kLimit + 100);
  EXPECT_EQ(files.replaces, 1);
}

// While the rename is refused for good (a viewer holds the file, a share
// grants no deletion, a read-only .1 file) the live file grows on to twice
// the limit, then begins again: the older lines are cut, the newest kept, and
// the new file opens with the bytes cut. Where it cannot be begun again
// either (a viewer maps it) the lines are counted, the log takes none, and
// the count follows once it can.
TEST_F(LogLimitTest, ARenameRefusedForGoodKeepsTheNewestLines) {
  Start(kLimit - banner.size());
  files.refuseRename = true;
  log.WriteLogLine(Text(kLimit - 100));
  log.WriteLogLine(Text(100));  // the last that fits
  EXPECT_EQ(files.Contents(kPath).size(), 2 * kLimit);
  files.refuseOverwrite = true;
  for (int i = 0; i < 3; ++i) log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
  EXPECT_FALSE(log.TakesLines());
  EXPECT_EQ(log.LinesLost(), 3u);
  files.refuseOverwrite = false;
  log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
  EXPECT_TRUE(log.TakesLines());
  EXPECT_FALSE(files.Has(kRolled));
  EXPECT_EQ(fakes::LogTextsAfterBanner(banner + files.Contents(kPath)),
            (std::vector<std::string>{"LOG LLENO - 131072 Bytes Anteriores Borrados!!!",
                                      "LOG LLENO - 3 Lineas NO Escritas!!!", "Timer1 - AFTER 'CALL Pellux_MONITOR'"}));
}

// The end cancels a write held by a share; whichever call it waits in, the
// write makes no further one.
TEST(LogFileWriterTest, ACancelledWriteTakesNoFurtherStep) {
  constexpr const char* kPath = "\\\\srv\\logs\\PelluxMONITOR.anc";
  constexpr std::size_t kLimit = 1000;
  const std::vector<LogLine> lines{{{}, std::string(40, 'a')}, {{}, std::string(40, 'b')}};
  const std::vector<std::pair<bool, std::vector<std::string>>> rows = {
      {false, {"size", "append", "rename", "append"}},  // rolled over
      {true, {"size", "rename", "overwrite"}},          // the rename refused: begun again
  };
  for (const auto& [refused, steps] : rows) {
    for (std::size_t at = 0; at < steps.size(); ++at) {
      SCOPED_TRACE(steps[at] + " " + std::to_string(at));
      fakes::FakeFileSystem files;
      files.AddFile(kPath, std::string(refused ? 2 * kLimit - 50 : kLimit - 50, '.'));
      files.refuseRename = refused;
      LogFileWriter writer(kPath, kLimit);
      std::vector<std::string> calls;
      files.onWrite = [&](const char* call) {
        calls.emplace_back(call);
        if (calls.size() == at + 1) writer.Cancel();
      };
      writer.Write(files, lines);
      EXPECT_EQ(calls, std::vector<std::string>(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(at) + 1));
    }
  }
}

// A log on a share is written by the worker: while the share never answers,
// every line comes back at once, the queue fills to its bound and the lines
// beyond are counted; once the share answers the count is written before the
// next line.
TEST_F(EventLogTest, ALogOnAShareThatHangsNeverHoldsTheCaller) {
  const std::string share = "\\\\srv\\logs\\PelluxMONITOR.anc";
  files.AddFile(share);
  files.worker.hangs = true;
  log.InitLog(share);
  ASSERT_TRUE(log.OffThread());
  const std::string big(64 * 1024 - 26, 'x');  // a line of 64 KB
  // With the banner waiting, one line fewer than the bound holds fits.
  for (std::size_t i = 0; i <= kLogQueueBytes / (std::size_t{64} * 1024); ++i) log.WriteLogLine(big);
  EXPECT_EQ(files.appends, 0);
  EXPECT_EQ(log.QueueDropped(), 2u);
  EXPECT_FALSE(log.TakesLines());
  EXPECT_EQ(log.LinesLost(), 2u) << "the lines the queue had no room for count as lost";
  files.ShareAnswers();
  log.WriteLogLine("Timer1 - AFTER 'CALL Pellux_MONITOR'");
  const std::vector<std::string> texts = fakes::LogTextsAfterBanner(files.Contents(share));
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "LOG LLENO - 2 Lineas NO Escritas!!!");
  EXPECT_EQ(texts.back(), "Timer1 - AFTER 'CALL Pellux_MONITOR'");
  EXPECT_EQ(log.QueueDropped(), 0u);
  EXPECT_TRUE(log.TakesLines());
  EXPECT_EQ(log.LinesLost(), 2u);
}

// At the end a share that hangs is waited for only briefly; the worker is
// then let go and nothing later waits behind it.
TEST_F(EventLogTest, TheEndWaitsForAShareThatHangsOnlyBriefly) {
  const std::string share = "\\\\srv\\logs\\PelluxMONITOR.anc";
  files.AddFile(share);
  files.worker.hangs = true;
  log.InitLog(share);
  {
    const LogBatch cycle(log);
    log.WriteLogLine("Timer1 - BEFORE 'CALL Pellux_MONITOR'");
    log.Finish();                               // the END command, in the middle of a cycle
    EXPECT_EQ(files.worker.jobsLeftAtEnd, 2u);  // the banner and the cycle's line, handed over
    EXPECT_EQ(files.worker.drainWaitMs, std::vector<std::uint32_t>{kLogEndWaitMs});
  }
  EXPECT_FALSE(log.OffThread());
  log.WriteLogLine("x");
  EXPECT_EQ(files.appends, 0);
  // The write the share held when it was let go takes no further step once
  // the share answers.
  ASSERT_TRUE(files.worker.underWayAtEnd);
  files.worker.underWayAtEnd(files);
  EXPECT_EQ(files.appends, 0);
}

}  // namespace
}  // namespace pellux
