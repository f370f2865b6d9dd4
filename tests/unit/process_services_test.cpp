#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/path_buffer.h"
#include "common/upper_case.h"
#include "fakes/fakes.h"
#include "process/process_services.h"

namespace pellux {
namespace {

struct Report {
  std::int32_t number;
  std::string description, module, routine;
  bool operator==(const Report& o) const {
    return std::tie(number, description, module, routine) == std::tie(o.number, o.description, o.module, o.routine);
  }
};

// Passes every call on to the scripted table; afterListing runs once the
// identifiers have been handed out, so a test can change the table between
// the listing and the walk. It also checks that each list arrives zeroed.
class ListingHookTable final : public ProcessTable {
 public:
  explicit ListingHookTable(fakes::FakeProcessTable& inner) : inner_(inner) {}
  bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* returned) override {
    for (std::uint32_t i = 0; i < bytes / 4; ++i)
      if (ids[i] != 0) dirtyLists = true;
    const bool ok = inner_.ListProcesses(ids, bytes, returned);
    // A full list is followed by a larger one; scribble over it so that a
    // list kept and grown instead of made afresh arrives dirty.
    if (*returned == bytes)
      for (std::uint32_t i = 0; i < bytes / 4; ++i) ids[i] = -1;
    if (afterListing) afterListing();
    return ok;
  }
  ProcessHandle Open(std::uint32_t a, bool i, std::int32_t id) override { return inner_.Open(a, i, id); }
  bool ListModules(ProcessHandle h, ModuleHandle* m, std::uint32_t b, std::uint32_t* n) override {
    return inner_.ListModules(h, m, b, n);
  }
  std::uint32_t ModulePath(ProcessHandle h, ModuleHandle m, char* b, std::uint32_t c) override {
    return inner_.ModulePath(h, m, b, c);
  }
  std::uint32_t ImagePath(ProcessHandle h, char* b, std::uint32_t c) override { return inner_.ImagePath(h, b, c); }
  bool ExitCode(ProcessHandle h, std::uint32_t* c) override { return inner_.ExitCode(h, c); }
  bool Terminate(ProcessHandle h, std::uint32_t c) override { return inner_.Terminate(h, c); }
  bool Close(ProcessHandle h) override { return inner_.Close(h); }
  bool CreationTime(ProcessHandle h, std::uint64_t* c) override { return inner_.CreationTime(h, c); }
  bool ListFamilies(std::vector<ProcessEntry>* e) override { return inner_.ListFamilies(e); }
  bool ListSessions(std::vector<ProcessSession>* s) override {
    const bool ok = inner_.ListSessions(s);
    if (afterListing) afterListing();
    return ok;
  }
  bool SessionOf(std::int32_t id, SessionId* s) override { return inner_.SessionOf(id, s); }
  SessionId CurrentSession() override { return inner_.CurrentSession(); }
  std::int32_t CurrentProcessId() override { return inner_.CurrentProcessId(); }
  std::int32_t LastError() override { return inner_.LastError(); }

  std::function<void()> afterListing;
  bool dirtyLists = false;

 private:
  fakes::FakeProcessTable& inner_;
};

// A table that fills every list it is given, however large.
class EndlessTable final : public ProcessTable {
 public:
  bool ListProcesses(std::int32_t* ids, std::uint32_t bytes, std::uint32_t* returned) override {
    sizes.push_back(bytes);
    for (std::uint32_t i = 0; i < bytes / 4; ++i) ids[i] = static_cast<std::int32_t>(i + 1);
    *returned = bytes;
    return true;
  }
  ProcessHandle Open(std::uint32_t, bool, std::int32_t) override {
    ++opensTried;
    return 0;
  }
  bool ListModules(ProcessHandle, ModuleHandle*, std::uint32_t, std::uint32_t*) override { return false; }
  std::uint32_t ModulePath(ProcessHandle, ModuleHandle, char*, std::uint32_t) override { return 0; }
  std::uint32_t ImagePath(ProcessHandle, char*, std::uint32_t) override { return 0; }
  bool ExitCode(ProcessHandle, std::uint32_t*) override { return false; }
  bool Terminate(ProcessHandle, std::uint32_t) override { return false; }
  bool Close(ProcessHandle) override { return false; }
  bool CreationTime(ProcessHandle, std::uint64_t*) override { return false; }
  // As many as the largest list holds, all of the monitor's session.
  bool ListFamilies(std::vector<ProcessEntry>* entries) override {
    entries->assign((1u << 20) / 4, ProcessEntry{});
    for (std::size_t i = 0; i < entries->size(); ++i) (*entries)[i] = {static_cast<std::int32_t>(i + 1), 0, {}, 1};
    return true;
  }
  // No snapshot: the walk goes by the list of ids.
  bool ListSessions(std::vector<ProcessSession>*) override { return false; }
  bool SessionOf(std::int32_t, SessionId* session) override {
    *session = 1;
    return true;
  }
  SessionId CurrentSession() override { return 1; }
  std::int32_t CurrentProcessId() override { return 0; }
  std::int32_t LastError() override { return 5; }
  std::vector<std::uint32_t> sizes;
  long opensTried = 0;
};

class ProcessServicesTest : public ::testing::Test {
 protected:
  void LogOn() {
    files.AddFile("C:\\Monitor\\PelluxMONITOR.anc");
    log.InitLog(LogFileBeside("C:\\Monitor"));
  }
  // The texts of the lines written after the banner, without stamp and quotes.
  std::vector<std::string> LogTexts() const {
    return fakes::LogTextsAfterBanner(files.Contents("C:\\Monitor\\PelluxMONITOR.anc"));
  }
  void ExpectBalanced() const {
    EXPECT_EQ(table.opens, table.closes);
    EXPECT_EQ(table.OpenHandles(), 0);
  }

  fakes::FakeFileSystem files;
  fakes::FakeClock clock;
  fakes::FakeProcessTable table;
  EventLog log{files, clock};
  std::vector<Report> reports;
  ProcessServices services{table, log,
                           [this](std::int32_t n, const std::string& d, const std::string& m, const std::string& r) {
                             reports.push_back({n, d, m, r});
                           }};
};

TEST_F(ProcessServicesTest, ListGrowsFromSixteenBytesWhileACallFillsIt) {
  struct Case {
    int processes;
    std::vector<std::uint32_t> sizes;
  };
  const Case cases[] = {
      {0, {16}},
      {3, {16}},
      {4, {16, 32}},      // exactly fills the first list
      {8, {16, 32, 64}},  // exactly fills the 32-byte list: one more call
      {9, {16, 32, 64}},
      {100, {16, 32, 64, 128, 256, 512}},
      {1024, {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192}},
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.AddMany(c.processes);
    t.failFamilies = true;  // the list of ids is walked where no snapshot can be had
    fakes::FakeFileSystem f;
    EventLog l{f, clock};
    ProcessServices s{t, l};
    s.IsProcessRunning("javaw.exe");
    EXPECT_EQ(t.listSizes, c.sizes) << c.processes << " processes";
    EXPECT_EQ(t.opens, c.processes) << "every listed process is visited";
    EXPECT_EQ(t.closes, c.processes);
  }
}

TEST_F(ProcessServicesTest, EachListIsFreshAndZeroed) {
  table.AddMany(40);
  table.failFamilies = true;
  ListingHookTable hooked(table);
  ProcessServices s{hooked, log};
  s.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(hooked.dirtyLists);
}

TEST_F(ProcessServicesTest, TableThatNeverStopsGrowingEndsTheEnumeration) {
  EndlessTable endless;
  ProcessServices s{endless, log};
  s.IsProcessRunning("javaw.exe");
  ASSERT_FALSE(endless.sizes.empty());
  EXPECT_EQ(endless.sizes.back(), 1u << 20);
  EXPECT_EQ(endless.opensTried, 2 * (1 << 20) / 4) << "the last list is still walked, both ways";
  EXPECT_FALSE(s.Found());
}

// Without the snapshot the walk goes by the list of ids and asks each
// process its session: another session's is passed over, one that cannot be
// asked is another user's. Each outage is told once.
TEST_F(ProcessServicesTest, WithoutASnapshotEachProcessIsAskedItsSession) {
  std::vector<bool> told;  // each look: whether it had the snapshot
  services.OnSnapshot([&](bool had) { told.push_back(had); });
  table.AddInSession(4, "C:\\Java\\bin\\javaw.exe", 2);
  table.AddInSession(8, "C:\\Java\\bin\\javaw.exe", 3, fakes::FakeProcessTable::Owner::OtherUser);
  table.failFamilies = true;
  services.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(services.Found());
  EXPECT_EQ(services.Kill_Process("javaw").processId, 0);
  EXPECT_EQ(table.opens, 0) << "another session's process is not opened";
  table.Add(12, "C:\\Java\\bin\\javaw.exe");
  services.IsProcessRunning("javaw.exe");
  EXPECT_TRUE(services.Found());

  table.failFamilies = false;
  services.IsProcessRunning("javaw.exe");
  table.failFamilies = true;
  table.failList = true;  // nothing at all can be listed: nothing is found
  services.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(services.Found());
  EXPECT_EQ(services.OtherSessionRunning("javaw.exe"), std::nullopt);
  EXPECT_FALSE(services.SeesOtherSessions()) << "finding nothing unseen proves nothing";
  EXPECT_EQ(told, (std::vector<bool>{false, false, false, true, false, false}));
  table.failFamilies = false;
  EXPECT_EQ(services.OtherSessions(), std::vector<SessionId>({2, 3}));
  EXPECT_TRUE(services.SeesOtherSessions());
  ExpectBalanced();
}

// With logging off a process is opened the first time a walk meets it and
// never again in its life; a path that could not be read, or read empty, is
// read again at the next walk; a process refused by its access list stays
// refused; an id that comes back with a new creation time is a new process.
TEST_F(ProcessServicesTest, EachProcessIsOpenedOnceAcrossManyWalks) {
  table.AddMany(30);
  table.Add(400, "C:\\Java\\bin\\javaw.exe").pathReadable = false;
  table.processes.back().openForRead = true;
  table.AddInSession(404, "C:\\Other\\user.exe", fakes::kOwnSession, fakes::FakeProcessTable::Owner::OtherUser);
  services.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(services.Found()) << "an empty path matches no name";
  table.processes[30].pathReadable = true;
  for (int walk = 0; walk < 20; ++walk) {
    services.IsProcessRunning("javaw.exe");
    EXPECT_TRUE(services.Found());
    EXPECT_EQ(services.Kill_Process("Lintaro").processId, 0);
  }
  EXPECT_EQ(table.opens, 32) << "each once, and the javaw.exe once more";
  EXPECT_EQ(table.openAccess.size(), 34u) << "the refused one, both ways, once";

  // The javaw.exe ends and its id comes back as another program.
  table.processes[30].path = "C:\\Tools\\editor.exe";
  table.processes[30].created += 1;
  services.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(services.Found());
  EXPECT_EQ(table.opens, 33);
  ExpectBalanced();
}

// The process listed ends after the snapshot and its id goes to a javaw.exe
// of another session: the walk answers for what the snapshot listed
// without opening anything, logging on as off, and
// a stop opens it for termination, sees it is not the one listed and leaves
// it alone.
TEST_F(ProcessServicesTest, AProcessIsActedOnOnlyWhileItIsTheOneListed) {
  for (const bool logging : {false, true}) {
    fakes::FakeFileSystem f;
    EventLog l{f, clock};
    if (logging) {
      f.AddFile("C:\\Monitor\\PelluxMONITOR.anc");
      l.InitLog(LogFileBeside("C:\\Monitor"));
    }
    fakes::FakeProcessTable t;
    t.Add(4, "C:\\Java\\bin\\javaw.exe");
    ListingHookTable hooked(t);
    ProcessServices s{hooked, l};
    s.IsProcessRunning("javaw.exe");
    ASSERT_TRUE(s.Found());
    hooked.afterListing = [&] {
      hooked.afterListing = nullptr;
      t.processes.clear();
      t.AddInSession(4, "C:\\Java\\bin\\javaw.exe", 2).created += 7;
    };
    s.IsProcessRunning("javaw.exe");
    EXPECT_TRUE(s.Found()) << logging;
    t.processes.clear();
    t.Add(4, "C:\\Java\\bin\\javaw.exe");
    s.IsProcessRunning("javaw.exe");
    hooked.afterListing = [&] {
      hooked.afterListing = nullptr;
      t.processes.clear();
      t.AddInSession(4, "C:\\Java\\bin\\javaw.exe", 2).created += 7;
    };
    EXPECT_EQ(s.Kill_Process("javaw").processId, 0) << logging;
    EXPECT_TRUE(t.terminated.empty()) << logging;
    // The end by id of what the last scan found: its creation time changed since.
    t.processes.clear();
    t.Add(4, "C:\\Java\\bin\\javaw.exe");
    s.IsProcessRunning("javaw.exe");
    t.processes.front().created += 7;
    EXPECT_EQ(s.EndProcessId(4).processId, 0) << logging;
    EXPECT_TRUE(t.terminated.empty()) << logging;
    EXPECT_EQ(t.opens, t.closes);
  }
}

// ControllerMatch keeps an answer only for the very process it decided: an
// id handed to another Java program is decided again, and so is a process
// listed without a creation time (a walk without the snapshot).
TEST_F(ProcessServicesTest, AControllerAnswerHoldsOnlyForItsProcess) {
  for (const bool snapshotThen : {true, false}) {
    fakes::FakeProcessTable t;
    t.Add(4, "C:\\Java\\bin\\javaw.exe").commandLine = "javaw -jar Pellux.jar";
    ProcessServices s{t, log};
    s.Controller().Set("javaw.exe", "javaw", "Pellux.jar");
    s.IsProcessRunning("javaw.exe");
    ASSERT_TRUE(s.Found());
    t.failFamilies = !snapshotThen;
    s.IsProcessRunning("javaw.exe");
    ASSERT_TRUE(s.Found());
    t.processes.clear();
    auto& other = t.Add(4, "C:\\Java\\bin\\javaw.exe");
    other.commandLine = "javaw -jar hmi.jar";
    other.created += 7;
    s.IsProcessRunning("javaw.exe");
    EXPECT_FALSE(s.Found()) << snapshotThen;
    EXPECT_EQ(s.Kill_Process("javaw").processId, 0) << snapshotThen;
    EXPECT_TRUE(t.terminated.empty());
  }
  // Asked outside a walk (the adoption, the other sessions' look), where no snapshot has dropped the old answer.
  fakes::FakeProcessTable t;
  t.Add(4, "C:\\Java\\bin\\javaw.exe").commandLine = "javaw -jar Pellux.jar";
  ControllerMatch match{t, log};
  match.Set("javaw.exe", "javaw", "Pellux.jar");
  EXPECT_EQ(match.Answer(4, 1, {}), ControllerAnswer::Yes);
  t.processes.front().commandLine = "javaw -jar hmi.jar";
  EXPECT_EQ(match.Answer(4, 2, {}), ControllerAnswer::No);
}

// The odd javaw.exe under a text: one the text can neither confirm nor rule
// out counts and is never ended, with or without the snapshot; a path past
// the longest path is read whole; a name that only begins like the
// controller's is not the controller.
TEST_F(ProcessServicesTest, OddJavaProgramsUnderTheText) {
  const std::string longPath = "C:\\Pellux\\" + std::string(kLongestPath, 'x') + "\\bin\\javaw.exe";
  const struct {
    const char* name;
    std::string path;
    bool readable, snapshot;
    bool found, ended, undecided;
    int told;  // the warnings: once per process, each walk's without a creation time
  } rows[] = {
      {"unreadable", "C:\\Java\\bin\\javaw.exe", false, true, true, false, true, 1},
      {"unreadable, no snapshot", "C:\\Java\\bin\\javaw.exe", false, false, true, false, true, 2},
      {"longer than the longest path", longPath, true, true, true, true, false, 0},
      {"only begins like it", "C:\\Pellux\\jre\\bin\\javaw.exe.old.exe", true, true, false, false, false, 0},
      {"readable, another program's", "C:\\Java\\bin\\javaw.exe", true, true, false, false, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fakes::FakeProcessTable t;
    t.commandLineByQuery = false;  // Windows 7: an elevated javaw.exe's line is not read
    t.failFamilies = !row.snapshot;
    auto& java = t.Add(4, row.path);
    java.commandLine = "javaw -jar hmi.jar";
    java.commandLineReadable = row.readable;
    ProcessServices s{t, log};
    s.Controller().Set("javaw.exe", "javaw", "\\Pellux\\");
    int told = 0;
    s.Controller().OnUndecided([&](const std::string&, const std::string& path, std::int32_t id) {
      EXPECT_EQ(path, row.path);
      EXPECT_EQ(id, 4);
      ++told;
    });
    s.IsProcessRunning("javaw.exe");
    EXPECT_EQ(s.Found(), row.found);
    EXPECT_EQ(s.FoundUndecided(), row.undecided);
    EXPECT_EQ(s.Kill_Process("javaw").processId, row.ended ? 4 : 0);
    EXPECT_EQ(t.Running(4), !row.ended);
    EXPECT_EQ(told, row.told);
  }
}

// Both walks, the one that reads every path (logging on) and the one that
// keeps them (logging off), over the same randomised tables that change from
// walk to walk: the same answers and the same process ended.
TEST_F(ProcessServicesTest, TheKeptWalkAnswersAsTheReadingWalk) {
  using Owner = fakes::FakeProcessTable::Owner;
  std::mt19937 random(36);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* paths[] = {"C:\\Java\\bin\\javaw.exe", "C:\\Ferrowin\\LINTARO\\LINTARO.exe", "C:\\javaw-tools\\x.exe",
                         "C:\\Lintaro\\helper.exe", "C:\\Windows\\explorer.exe"};
  fakes::FakeProcessTable reading;
  fakes::FakeProcessTable keeping;
  LogOn();
  ProcessServices readingWalk{reading, log};
  fakes::FakeFileSystem quiet;
  EventLog off{quiet, clock};
  ProcessServices keptWalk{keeping, off};
  std::uint64_t born = 1;
  for (int step = 0; step < 400; ++step) {
    // Both tables change alike: a process starts (perhaps under an id that
    // was used before, perhaps with a path that cannot be read yet), ends,
    // has its path readable at last, or refuses its termination.
    const int change = pick(4);
    if (change == 0 || reading.processes.empty()) {
      const std::int32_t id = 4 * (1 + pick(12));
      if (!reading.Running(id)) {
        const std::string path = paths[pick(5)];
        const SessionId session = pick(4) == 0 ? 2 : fakes::kOwnSession;
        const Owner owner = pick(6) == 0 ? Owner::Elevated : Owner::Us;
        ++born;
        const bool unreadable = pick(4) == 0;
        for (auto* t : {&reading, &keeping}) {
          auto& p = t->AddInSession(id, path, session, owner);
          p.created = born;
          p.pathReadable = !unreadable;
        }
      }
    } else {
      const std::size_t at = static_cast<std::size_t>(pick(static_cast<int>(reading.processes.size())));
      const bool refuse = pick(2) == 0;
      for (auto* t : {&reading, &keeping}) {
        if (change == 1) t->processes.erase(t->processes.begin() + static_cast<std::ptrdiff_t>(at));
        if (change == 2) t->processes[at].pathReadable = true;
        if (change == 3) t->processes[at].openForTerminate = !refuse;
      }
    }
    for (const char* name : {"javaw.exe", "Lintaro.exe", "explorer.exe"}) {
      readingWalk.IsProcessRunning(name);
      keptWalk.IsProcessRunning(name);
      ASSERT_EQ(readingWalk.Found(), keptWalk.Found()) << "step " << step << " " << name;
    }
    if (pick(5) == 0) {
      const char* stop = pick(2) == 0 ? "javaw" : "Lintaro";
      ASSERT_EQ(readingWalk.Kill_Process(stop).processId, keptWalk.Kill_Process(stop).processId) << "step " << step;
    }
  }
  EXPECT_EQ(reading.terminated, keeping.terminated);
  EXPECT_EQ(keeping.opens, reading.opens) << "logging on looks as once as logging off";
  EXPECT_EQ(keeping.opens, keeping.closes);
}

TEST_F(ProcessServicesTest, ScanOpensForReadingWithTheFixedBuffers) {
  table.AddMany(3);
  services.IsProcessRunning("javaw.exe");
  EXPECT_EQ(table.openAccess, (std::vector<std::uint32_t>{0x410, 0x410, 0x410}));
  EXPECT_EQ(table.inheritableOpens, 0);
  EXPECT_EQ(table.moduleListBytes, 50 * sizeof(ModuleHandle));
  EXPECT_EQ(table.pathCapacity, 260u);
}

TEST_F(ProcessServicesTest, ScanStopsAtFirstMatchAndLogsUpToIt) {
  LogOn();
  table.Add(4, "C:\\Windows\\explorer.exe");
  table.Add(8, "C:\\Java\\bin\\javaw.exe");
  table.Add(12, "C:\\Other\\javaw.exe");
  services.IsProcessRunning("javaw.exe");
  EXPECT_EQ(services.ProcessFound(), "YES");
  // The number is the handle, not the process identifier.
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"C:\\Windows\\explorer.exe - 1000", "C:\\Java\\bin\\javaw.exe - 1004"}));
  EXPECT_EQ(table.opens, 2) << "nothing after the match is examined";
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, ScanWithLoggingOffWritesNothing) {
  table.AddMany(5);
  services.IsProcessRunning("javaw.exe");
  EXPECT_EQ(files.appends, 0);
  EXPECT_FALSE(files.Has("C:\\Monitor\\PelluxMONITOR.anc"));
}

TEST_F(ProcessServicesTest, ScanMatchesTheEndOfThePathInAnyCase) {
  struct Case {
    const char* name;
    const char* path;
    bool found;
  };
  const Case cases[] = {
      {"javaw.exe", "C:\\Java\\bin\\javaw.exe", true},
      {"JAVAW.EXE", "c:\\java\\bin\\javaw.exe", true},
      {"jAvAw.ExE", "C:\\JAVA\\BIN\\JAVAW.EXE", true},
      {"Lintaro.exe", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", true},
      {"javaw.exe", "C:\\tools\\myjavaw.exe", true},        // no separator is required
      {"javaw.exe", "C:\\javaw.exe\\launcher.exe", false},  // only a folder bears the name
      {"Lintaro.exe", "C:\\Lintaro.exe.bak", false},
      {"javaw.exe", "avaw.exe", false},  // shorter than the name
      {"javaw.exe", "java.exe", false},
      {"", "C:\\any.exe", true},
      // The bytes beside the letters keep their case: '@' '[' are not '`' '{' upper-cased.
      {"ab`x.exe", "C:\\TOOLS\\AB@X.EXE", false},
      {"ab{x.exe", "C:\\TOOLS\\AB[X.EXE", false},
      // The same edges in every byte of a whole eight-byte block.
      {"azazazaz.exe", "C:\\TOOLS\\AZAZAZAZ.EXE", true},
      {"````````.exe", "C:\\TOOLS\\@@@@@@@@.EXE", false},
      {"{{{{{{{{.exe", "C:\\TOOLS\\[[[[[[[[.EXE", false},
      // Letters beyond ASCII in any case, as the system compares file names.
      {"Se\xC3\xB1"
       "al.exe",
       "C:\\Planta\\Se\xC3\xB1"
       "al\\Se\xC3\xB1"
       "al.exe",
       true},
      {"Se\xC3\xB1"
       "al.exe",
       "C:\\PLANTA\\SE\xC3\x91"
       "AL.EXE",
       true},
      {"SE\xC3\x91"
       "AL.EXE",
       "c:\\planta\\se\xC3\xB1"
       "al.exe",
       true},
      {"\xCE\xA9\xCE\xBC\xCE\xAD.exe", "C:\\\xCE\xA9\xCE\x9C\xCE\x88.EXE", true},  // Greek
      {"\xD0\xBF\xD1\x83\xD0\xBB\xD1\x8C\xD1\x82.exe", "C:\\\xD0\x9F\xD0\xA3\xD0\x9B\xD0\xAC\xD0\xA2.exe",
       true},  // Cyrillic
      {"\xC5\x82\xC3\xB3"
       "d\xC5\xBA.exe",
       "C:\\\xC5\x81\xC3\x93"
       "D\xC5\xB9.exe",
       true},                                                                      // Łódź
      {"\xC4\x85\xC4\x99\xC5\x9B.exe", "C:\\\xC4\x84\xC4\x98\xC5\x9A.exe", true},  // ąęś, ĄĘŚ
      {"\xD1\x91.exe", "C:\\\xD0\x81.exe", true},                                  // ё, Ё
      {"Se\xC3\xB1"
       "al.exe",
       "C:\\Planta\\Senal.exe", false},
      {"Se\xC3\xB1"
       "al.exe",
       "C:\\Planta\\Se\xC3\x83"
       "al.exe",
       false},
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.Add(4, c.path);
    ProcessServices s{t, log};
    s.IsProcessRunning(c.name);
    EXPECT_EQ(s.Found(), c.found) << c.name << " against " << c.path;
    // The record's name check agrees with the scan, or a bridge named with
    // accents would be reported as running under another name.
    EXPECT_EQ(NameEndsWith(c.path, c.name), c.found) << c.name << " against " << c.path;
  }
}

TEST_F(ProcessServicesTest, EmptyNameMatchesFirstReadableProcess) {
  LogOn();
  table.Add(4, "C:\\protected.exe").openForRead = false;
  table.processes.back().openLimited = false;
  table.Add(8, "C:\\starting.exe").modulesReadable = false;
  table.processes.back().openLimited = false;
  table.Add(12, "C:\\first\\readable.exe");
  table.Add(16, "C:\\second\\readable.exe");
  services.IsProcessRunning("");
  EXPECT_EQ(services.ProcessFound(), "YES");
  // The processes refused both ways get no line.
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"C:\\first\\readable.exe - 1004"}));
  ExpectBalanced();
}

// A controller started elevated refuses 0x410, and a
// 64-bit one seen from the 32-bit monitor opens but refuses its module list
// (ERROR_PARTIAL_COPY, 299): its path is read through a 0x1000 handle and it
// counts, logs and closes like any other. The stop ends it when its
// termination open is granted, and passes over it to the copy when not.
TEST_F(ProcessServicesTest, ProcessRefusingFullRightsIsReadWithLimitedOnes) {
  struct Case {
    bool open, modules, limited, image, terminate;
    const char* line;  // the first line: the controller's, or its copy's when refused both ways
    std::int32_t killed;
  };
  const Case cases[] = {
      {false, true, true, true, true, "C:\\Java\\javaw.exe - 1000", 4},
      {true, false, true, true, true, "C:\\Java\\javaw.exe - 1004", 4},  // 64-bit, from 32-bit
      {true, false, true, true, false, "C:\\Java\\javaw.exe - 1004", 8},
      {false, true, true, true, false, "C:\\Java\\javaw.exe - 1000", 8},
      {false, true, false, true, true, "C:\\Copy\\javaw.exe - 1000", 8},
      {true, false, false, true, true, "C:\\Copy\\javaw.exe - 1004", 8},
      {false, true, true, false, true, "C:\\Copy\\javaw.exe - 1004", 8},  // a limited handle naming no file
  };
  LogOn();
  for (const Case& c : cases) {
    for (const bool kill : {false, true}) {
      fakes::FakeProcessTable t;
      auto& p = t.Add(4, "C:\\Java\\javaw.exe");
      std::tie(p.openForRead, p.modulesReadable, p.openLimited, p.imageReadable,
               p.openForTerminate) = std::tie(c.open, c.modules, c.limited, c.image, c.terminate);
      t.Add(8, "C:\\Copy\\javaw.exe");
      files.AddFile("C:\\Monitor\\PelluxMONITOR.anc");
      ProcessServices s{t, log};
      if (kill) {
        (void)s.Kill_Process("javaw");
        EXPECT_EQ(LogTexts().front(), c.line);
        ASSERT_EQ(t.terminated.size(), 1u) << c.line;
        EXPECT_EQ(t.terminated[0].first, c.killed) << c.line;
      } else {
        s.IsProcessRunning("javaw.exe");
        EXPECT_EQ(LogTexts(), std::vector<std::string>{c.line}) << c.line;
        EXPECT_TRUE(s.Found());
      }
      EXPECT_EQ(t.opens, t.closes) << c.line;
    }
  }
}

// Only the monitor's own logon session counts: the same account's other
// session opens as ours does and is still left alone; another account's
// refuses every open; an elevated process of ours is counted but not ended.
// Another session's process is never even opened, yet its session is known.
TEST_F(ProcessServicesTest, OnlyTheOwnSessionIsCountedAndEnded) {
  using Owner = fakes::FakeProcessTable::Owner;
  struct Case {
    SessionId session;
    Owner owner;
    bool counted, ended;
    std::optional<SessionId> elsewhere;  // what OtherSessionRunning answers
  };
  const Case cases[] = {
      {fakes::kOwnSession, Owner::Us, true, true, std::nullopt},
      {fakes::kOwnSession, Owner::Elevated, true, false, std::nullopt},
      {2, Owner::Us, false, false, 2},
      {3, Owner::OtherUser, false, false, 3},
      {0, Owner::OtherUser, false, false, 0},  // the services' session
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.AddInSession(4, "C:\\Java\\bin\\javaw.exe", c.session, c.owner);
    ProcessServices s{t, log};
    s.IsProcessRunning("javaw.exe");
    EXPECT_EQ(s.Found(), c.counted) << c.session;
    EXPECT_EQ(s.OtherSessionRunning("JAVAW.EXE"), c.elsewhere) << c.session;
    (void)s.Kill_Process("javaw");
    EXPECT_EQ(t.terminated.empty(), !c.ended) << c.session;
    EXPECT_TRUE(t.Running(4) || c.ended);
    if (c.session != fakes::kOwnSession) {
      EXPECT_EQ(t.opens, 0) << "another session's process is not opened";
    }
    EXPECT_EQ(t.opens, t.closes);
  }
}

TEST_F(ProcessServicesTest, SecondScanClearsAStaleYes) {
  table.Add(4, "C:\\Java\\bin\\javaw.exe");
  services.IsProcessRunning("javaw.exe");
  ASSERT_EQ(services.ProcessFound(), "YES");
  services.IsProcessRunning("Lintaro.exe");
  EXPECT_EQ(services.ProcessFound(), "");
}

TEST_F(ProcessServicesTest, FailedPathQueryGivesEmptyPathAndStillALine) {
  LogOn();
  table.Add(4, "C:\\Java\\bin\\javaw.exe").pathReadable = false;
  services.IsProcessRunning("javaw.exe");
  EXPECT_FALSE(services.Found());
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{" - 1000"}));
  services.IsProcessRunning("");
  EXPECT_TRUE(services.Found()) << "an empty path matches only the empty name";
  ExpectBalanced();
}

// Both reads, with full rights and with the limited ones: a read that comes
// back full is asked again with a buffer twice as large, so a javaw.exe
// under a path of any length is found and logged whole.
TEST_F(ProcessServicesTest, PathLongerThanTheBufferIsReadWhole) {
  LogOn();
  for (const bool limited : {false, true}) {
    for (const std::size_t length : {259u, 260u, 261u, 600u, 5000u}) {
      const std::string path = "C:\\" + std::string(length - 13, 'd') + "\\javaw.exe";
      fakes::FakeProcessTable t;
      t.Add(4, path).modulesReadable = !limited;
      files.AddFile("C:\\Monitor\\PelluxMONITOR.anc");
      ProcessServices s{t, log};
      s.IsProcessRunning("javaw.exe");
      EXPECT_TRUE(s.Found()) << length << " limited " << limited;
      EXPECT_EQ(LogTexts(), (std::vector<std::string>{path + " - " + (limited ? "1004" : "1000")}));
      EXPECT_EQ(t.opens, t.closes);
    }
  }
}

TEST_F(ProcessServicesTest, MoreThanAThousandProcessesAreAllWalked) {
  table.AddMany(1500);
  table.Add(9000, "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe");
  services.IsProcessRunning("Lintaro.exe");
  EXPECT_TRUE(services.Found());
  EXPECT_EQ(table.opens, 1501);
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, ProcessThatExitsAfterTheListingIsSkipped) {
  LogOn();
  table.Add(4, "C:\\Java\\bin\\javaw.exe");
  table.Add(8, "C:\\Other\\javaw.exe");
  ListingHookTable hooked(table);
  hooked.afterListing = [&] { table.processes.erase(table.processes.begin()); };
  ProcessServices s{hooked, log};
  s.IsProcessRunning("javaw.exe");
  EXPECT_TRUE(s.Found());
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"C:\\Other\\javaw.exe - 1000"}));
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, KillMatchesTheNameAnywhereInThePath) {
  struct Case {
    const char* name;
    const char* path;
    bool terminated;
  };
  const Case cases[] = {
      {"Lintaro", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", true},
      {"Lintaro", "C:\\Program Files\\Ferrowin\\LINTARO\\helper.exe", true},  // folder name
      {"javaw", "C:\\Java\\bin\\JAVAWS.EXE", true},
      {"javaw", "c:\\java\\bin\\javaw.exe", true},
      {"Lintaro", "C:\\tools\\Lintar.exe", false},
      {"javaw", "C:\\Java\\bin\\java.exe", false},
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.Add(4, c.path);
    ProcessServices s{t, log};
    s.Kill_Process(c.name);
    EXPECT_EQ(!t.terminated.empty(), c.terminated) << c.name << " in " << c.path;
  }
}

TEST_F(ProcessServicesTest, KillEndsOnlyTheFirstMatchWithExitCodeOne) {
  LogOn();
  // The monitor's own process, kept in a folder that bears the name, is
  // passed over as if it did not match.
  table.Add(table.ownId, "C:\\Lintaro tools\\PelluxMONITOR.exe");
  table.Add(8, "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe");
  table.Add(12, "C:\\Copy\\Lintaro.exe");
  services.Kill_Process("Lintaro");
  EXPECT_EQ(table.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{8, 1}}));
  EXPECT_TRUE(table.Running(12)) << "the second match keeps running";
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"C:\\Lintaro tools\\PelluxMONITOR.exe - 1000",
                                                  "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe - 1004"}));
  EXPECT_EQ(table.openAccess, (std::vector<std::uint32_t>{0x410, 0x410, 0x401}));
  EXPECT_EQ(table.inheritableOpens, 0);
  EXPECT_TRUE(reports.empty());
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, KillWithoutMatchOnlyLogs) {
  LogOn();
  table.AddMany(3);
  table.Add(40, "C:\\locked.exe").modulesReadable = false;
  table.processes.back().openLimited = false;
  services.Kill_Process("Lintaro");
  EXPECT_TRUE(table.terminated.empty());
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(LogTexts().size(), 3u) << "one line per readable process";
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, KillLeavesProcessFoundAlone) {
  table.Add(4, "C:\\Java\\bin\\javaw.exe");
  services.IsProcessRunning("javaw.exe");
  services.Kill_Process("Lintaro");
  EXPECT_EQ(services.ProcessFound(), "YES");
}

// A namesake the monitor may read but not end (elevated, another user's)
// listed before the bridge: its refusal is reported, and the walk goes on to
// the bridge. When every match refuses, nothing is ended.
TEST_F(ProcessServicesTest, MatchRefusingTerminationIsPassedOver) {
  const Report refused{5, "OpenProcess failed", "mdlMisc", "Kill_Process"};
  table.Add(4, "C:\\Lintaro\\Lintaro.exe").openForTerminate = false;
  table.Add(8, "C:\\Ferrowin\\LINTARO\\LINTARO.EXE");
  table.Add(12, "C:\\Copy\\lintaro.exe");
  const KillOutcome ended = services.Kill_Process("Lintaro");
  EXPECT_EQ(reports, std::vector<Report>{refused});
  EXPECT_EQ(table.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{8, 1}}));
  EXPECT_EQ(ended.processId, 8);
  EXPECT_TRUE(ended.terminated);
  EXPECT_TRUE(table.Running(12)) << "only the first match that can be opened";
  ExpectBalanced();

  reports.clear();
  table.processes.clear();
  table.Add(4, "C:\\Lintaro\\a.exe").openForTerminate = false;
  table.Add(8, "C:\\Lintaro\\Lintaro.exe").openForTerminate = false;
  const KillOutcome none = services.Kill_Process("Lintaro");
  EXPECT_EQ(reports, (std::vector<Report>{refused, refused}));
  EXPECT_EQ(table.terminated.size(), 1u) << "nothing more was ended";
  EXPECT_EQ(none.processId, 0);
  EXPECT_FALSE(none.terminated);
  ExpectBalanced();
}

// After a refusal only the program itself may be ended in its place: an
// elevated javaw.exe refuses, an operator's C:\javaw-tools\x.exe merely bears
// the name in its path and keeps running, a real javaw.exe later is ended.
TEST_F(ProcessServicesTest, AfterARefusalOnlyTheStopNameWithExeIsEnded) {
  struct Case {
    const char* path;
    bool ended;
  };
  const Case cases[] = {
      {"C:\\javaw-tools\\x.exe", false},       {"C:\\Java\\bin\\javaws.exe", false},
      {"C:\\Java\\bin\\xjavaw.exe", false},    {"C:\\Java\\bin\\javaw.exe.bak", false},
      {"C:\\javaw.exe\\run.exe", false},       {"C:\\Java\\bin\\JAVAW.EXE", true},
      {"C:\\Java\\jre\\bin\\javaw.exe", true},
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.Add(4, "C:\\Program Files\\Java\\bin\\javaw.exe").openForTerminate = false;
    t.Add(8, c.path);
    ProcessServices s{t, log};
    const KillOutcome outcome = s.Kill_Process("javaw");
    EXPECT_EQ(!t.terminated.empty(), c.ended) << c.path;
    EXPECT_EQ(outcome.processId, c.ended ? 8 : 0) << c.path;
    EXPECT_EQ(t.opens, t.closes) << c.path;
  }

  // The whole list: refused, a mere path match left alone, then the real one.
  table.Add(4, "C:\\Program Files\\Java\\bin\\javaw.exe").openForTerminate = false;
  table.Add(8, "C:\\javaw-tools\\x.exe");
  table.Add(12, "C:\\Pellux\\jre\\bin\\javaw.exe");
  const KillOutcome outcome = services.Kill_Process("javaw");
  EXPECT_EQ(table.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{12, 1}}));
  EXPECT_TRUE(table.Running(8)) << "the path match was ended";
  EXPECT_EQ(outcome.processId, 12);
  // Without a refusal before it, a path match is still the stop's first match.
  table.Add(16, "C:\\javaw-tools\\y.exe");
  table.processes.erase(table.processes.begin());  // the elevated one has gone
  (void)services.Kill_Process("javaw");
  EXPECT_FALSE(table.Running(8));
  ExpectBalanced();
}

TEST_F(ProcessServicesTest, EachFailedTerminationStepIsReportedAlone) {
  using Setup = void (*)(fakes::FakeProcessTable::Process&);
  struct Case {
    Setup setup;
    Report report;
    bool terminated;
  };
  const Case cases[] = {
      {[](auto& p) { p.exitCodeReadable = false; }, {6, "GetExitCodeProcess failed", "mdlMisc", "Kill_Process"}, true},
      {[](auto& p) { p.terminable = false; }, {5, "TerminateProcess failed", "mdlMisc", "Kill_Process"}, false},
      {[](auto& p) { p.closeFails = true; }, {6, "CloseHandle failed", "mdlMisc", "Kill_Process"}, true},
  };
  for (const Case& c : cases) {
    fakes::FakeProcessTable t;
    t.terminationTakesEffect = false;  // the failing close needs the process still listed
    c.setup(t.Add(4, "C:\\Ferrowin\\LINTARO\\LINTARO.exe"));
    std::vector<Report> got;
    ProcessServices s{t, log, [&](std::int32_t n, const std::string& d, const std::string& m, const std::string& r) {
                        got.push_back({n, d, m, r});
                      }};
    s.Kill_Process("Lintaro");
    EXPECT_EQ(got, std::vector<Report>{c.report}) << c.report.description;
    EXPECT_EQ(!t.terminated.empty(), c.terminated) << c.report.description;
    if (c.terminated) {
      EXPECT_EQ(t.terminated.front().second, 1u) << "exit code 1 even when unread";
    }
    EXPECT_EQ(t.opens, t.closes) << c.report.description;
  }
}

TEST_F(ProcessServicesTest, KillWithEmptyNameEndsNothing) {
  table.AddMany(3);
  services.Kill_Process("");
  EXPECT_TRUE(table.terminated.empty());
  EXPECT_TRUE(reports.empty());
}

TEST_F(ProcessServicesTest, HandlesBalancedOnEveryPath) {
  LogOn();
  table.Add(4, "C:\\protected.exe").openForRead = false;
  table.Add(8, "C:\\exiting.exe").modulesReadable = false;
  table.Add(12, "C:\\nopath.exe").pathReadable = false;
  table.Add(16, "C:\\Lintaro\\refuses.exe").terminable = false;
  table.Add(20, "C:\\elevated\\javaw.exe").openForRead = false;
  table.Add(24, "C:\\system.exe").imageReadable = false;
  table.processes.back().modulesReadable = false;
  table.AddMany(4, 200);
  services.IsProcessRunning("javaw.exe");
  services.IsProcessRunning("");
  services.Kill_Process("Lintaro");
  services.Kill_Process("javaw");
  ExpectBalanced();
  EXPECT_GT(table.opens, 0);
}

TEST_F(ProcessServicesTest, DefaultReporterSwallowsFailures) {
  table.Add(4, "C:\\Lintaro\\a.exe").openForTerminate = false;
  ProcessServices s{table, log};
  s.Kill_Process("Lintaro");
  ProcessServices empty{table, log, ErrorReporter{}};
  empty.Kill_Process("Lintaro");  // an unset hook is no hook
  ExpectBalanced();
}

}  // namespace
}  // namespace pellux
