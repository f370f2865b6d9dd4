#include <gtest/gtest.h>

#include <string>

#include "fakes/fakes.h"
#include "process/launched_programs.h"

namespace pellux {
namespace {

const LaunchedSet kLaunched{{12, 5000012}, {16, 5000016}, {20, 5000020}};

// The record as a later monitor reads it: only a whole record of this
// version names anything; whatever else is there adopts nothing.
TEST(LaunchRecordTest, OnlyAWholeRecordOfThisVersionIsRead) {
  const std::string whole = FormatLaunchRecord(kLaunched);
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = whole;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  struct Row {
    const char* name;
    std::string bytes;
    bool read;
  };
  const Row kRows[] = {
      {"whole", whole, true},
      {"none launched yet", FormatLaunchRecord({}), true},
      {"empty", "", false},
      {"cut before its closing line", whole.substr(0, whole.find("end ")), false},
      {"cut inside its closing line", whole.substr(0, whole.size() - 3), false},
      {"without its last line feed", whole.substr(0, whole.size() - 1), false},
      {"one digit changed", replaced("5000016", "5000017"), false},
      {"another version", replaced("launched 1", "launched 2"), false},
      {"a foreign value", "C:\\Program Files\\Pellux\\Pellux.exe", false},
      {"lines out of order", replaced("bridge", "javaw"), false},
      {"an id without its creation time", FormatLaunchRecord({{12, 0}, {}, {}}), false},
      {"a creation time without its id", FormatLaunchRecord({{}, {0, 7}, {}}), false},
      {"something after it", whole + "x", false},
      {"longer than any record", whole + std::string(300, '\n'), false},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::optional<LaunchedSet> read = ParseLaunchRecord(row.bytes);
    EXPECT_EQ(read.has_value(), row.read);
  }
  EXPECT_EQ(ParseLaunchRecord(whole), kLaunched);
}

class LaunchedProgramsTest : public ::testing::Test {
 protected:
  fakes::FakeProcessTable table;
  fakes::FakeLaunchRecord store;
  LaunchedPrograms launched{table, store};
};

// A process counts as the one recorded only with the same id, the same
// creation time and still running; every handle opened is closed again.
TEST_F(LaunchedProgramsTest, StillRunsOnlyForThatVeryProcess) {
  table.Add(12, "C:\\LINTARO.exe");
  table.Add(16, "C:\\other.exe").created = 99;
  table.Add(24, "C:\\locked.exe").openLimited = false;
  table.Add(28, "C:\\held.exe").exitCode = 1;
  EXPECT_TRUE(launched.StillRuns({12, fakes::FakeCreationTime(12)}));
  EXPECT_FALSE(launched.StillRuns({16, fakes::FakeCreationTime(16)})) << "the id given to another process";
  EXPECT_FALSE(launched.StillRuns({20, fakes::FakeCreationTime(20)})) << "ended";
  EXPECT_FALSE(launched.StillRuns({24, fakes::FakeCreationTime(24)})) << "cannot be opened";
  EXPECT_FALSE(launched.StillRuns({28, fakes::FakeCreationTime(28)})) << "ended, still held open by someone";
  EXPECT_FALSE(launched.StillRuns({})) << "none recorded";
  EXPECT_EQ(table.OpenHandles(), 0);
}

// The javaw.exe a launcher started: its child by name, created after it;
// not a namesake of another parent, not one the launcher's id's later
// holder started.
TEST_F(LaunchedProgramsTest, TheProcessALauncherStartedIsFoundByParentAndTime) {
  const RecordedProcess launcher{16, 1000};
  struct Row {
    const char* name;
    std::function<void()> world;
    std::int32_t found;
  };
  const Row kRows[] = {
      {"its child", [&] { table.Add(20, "C:\\jre\\bin\\JAVAW.EXE").parentId = 16; }, 20},
      {"its child, the launcher still running beside it",
       [&] {
         table.Add(16, "C:\\Pellux\\Pellux.exe").created = 1000;
         table.Add(20, "C:\\jre\\bin\\javaw.exe").parentId = 16;
       },
       20},
      {"the first started of two children",
       [&] {
         table.Add(20, "C:\\jre\\bin\\javaw.exe").parentId = 16;
         table.Add(24, "C:\\jre\\bin\\javaw.exe").parentId = 16;
       },
       20},
      {"another program's javaw.exe", [&] { table.Add(20, "C:\\jre\\bin\\javaw.exe").parentId = 8; }, 0},
      {"older than the launcher",
       [&] {
         auto& p = table.Add(20, "C:\\jre\\bin\\javaw.exe");
         p.parentId = 16;
         p.created = 999;
       },
       0},
      {"started by the id's later holder",
       [&] {
         table.Add(16, "C:\\run.exe").created = 3000;
         auto& p = table.Add(20, "C:\\jre\\bin\\javaw.exe");
         p.parentId = 16;
         p.created = 3001;
       },
       0},
      {"started in another session by the id's later holder, since ended",
       [&] {
         auto& p = table.AddInSession(20, "C:\\jre\\bin\\javaw.exe", 2);
         p.parentId = 16;
         p.created = 3001;
       },
       0},
      {"started before the id was given again",
       [&] {
         table.Add(16, "C:\\run.exe").created = 600000;
         table.Add(20, "C:\\jre\\bin\\javaw.exe").parentId = 16;
       },
       20},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    table.processes.clear();
    row.world();
    const RecordedProcess found = launched.StartedBy(launcher, "javaw.exe");
    EXPECT_EQ(found.id, row.found);
    if (row.found != 0) {
      EXPECT_EQ(found.created, fakes::FakeCreationTime(row.found));
    }
    EXPECT_EQ(table.OpenHandles(), 0);
  }
  table.failFamilies = true;
  EXPECT_FALSE(launched.StartedBy(launcher, "javaw.exe").Known()) << "no snapshot, nothing found";
}

}  // namespace
}  // namespace pellux
