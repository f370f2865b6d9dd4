#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fakes/fakes.h"
#include "programs/programs.h"
#include "programs/settings.h"
#include "supervision/control_file.h"
#include "supervision/supervision_cycle.h"

namespace pellux {
namespace {

using Lines = std::vector<std::string>;

const char kBridgePath[] = "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe";
const char kJavaPath[] = "C:\\Program Files\\Java\\jre\\bin\\javaw.exe";
const char kLog[] = "C:\\Monitor\\PelluxMONITOR.anc";
const char kBefore[] = "Timer1 - BEFORE 'CALL Pellux_MONITOR'";
const char kAfter[] = "Timer1 - AFTER 'CALL Pellux_MONITOR'";

class SupervisionCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    (void)window.Load(VersionTip(version));
    p.controls.SetButtonColour(ProgramButton::CBPellux, kGreen);
    p.controls.SetButtonColour(ProgramButton::CBLINTARO, kGreen);
    // A started bridge shows up in the table for the next scan.
    p.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
      p.processes.Add(static_cast<std::int32_t>(id), path);
    };
    p.timers.history.clear();
    p.journal.clear();
  }
  void LogOn() {
    p.files.AddFile(kLog);
    log.InitLog(LogFileBeside(folder));
  }
  // The texts written after the banner, without stamp and quotes.
  Lines LogTexts() const { return fakes::LogTextsAfterBanner(p.files.Contents(kLog)); }
  Colour ColourOf(ProgramButton b) { return p.controls.colours[b]; }
  void ExpectTray(std::size_t call, int picture, const std::string& tip) {
    ASSERT_LT(call, p.tray.calls.size());
    EXPECT_EQ(p.tray.calls[call].command, TrayCommand::Modify);
    EXPECT_EQ(p.tray.calls[call].data.hIcon, 0x100u + static_cast<unsigned>(picture));
    EXPECT_EQ(p.tray.Tip(call).substr(0, tip.size()), tip);
  }
  // The cycle's parts for a row of its own: a process table, events and a
  // launch record of the row's, the rest the fixture's.
  SupervisionCycle::Deps RowDeps(ProcessServices& services, SystemEvents& rowEvents, LaunchedPrograms* rowLaunched) {
    return {p.timers, p.clock,           log,         rowEvents, services,    p.launcher, window, p.files, folder,
            version,  BuiltInPrograms(), controlFile, [] {},     rowLaunched, {},         {},     {}};
  }
  std::string VersionTipText() const { return std::string("PelluxMONITOR - v1.0.0.0") + '\0'; }

  fakes::FakePlatform p;
  std::string folder = "C:\\Monitor";
  std::string version = "1.0.0.0";
  EventLog log{p.files, p.clock};
  std::string controlFile = kBuiltInControlFile;
  SystemEvents events{p.events, p.clock, BuiltInPrograms()};
  ProcessServices processes{p.processes, log};
  TrayIcon tray{p.tray};
  MainWindow window{p.controls, p.timers, tray};
  int ends = 0;
  int timerLost = 0;
  LaunchedPrograms launched{p.processes, p.launchRecord};
  SupervisionCycle cycle{{p.timers,
                          p.clock,
                          log,
                          events,
                          processes,
                          p.launcher,
                          window,
                          p.files,
                          folder,
                          version,
                          BuiltInPrograms(),
                          controlFile,
                          [this] { ++ends; },
                          &launched,
                          [this] { ++timerLost; },
                          {},
                          {},
                          &p.windows}};
};

TEST_F(SupervisionCycleTest, TickDisarmsLogsAroundTheCycleAndRearms) {
  LogOn();
  cycle.Timer1();
  EXPECT_EQ(p.timers.history,
            (std::vector<std::pair<TimerId, std::uint32_t>>{{TimerId::Timer1, 0}, {TimerId::Timer1, 3000}}));
  EXPECT_EQ(LogTexts(), (Lines{kBefore, kAfter}));
  EXPECT_EQ(p.journal, (Lines{"tray modify"}));
  EXPECT_EQ(kFirstCycleDelayMs, 10u);
}

TEST_F(SupervisionCycleTest, LoggingOffWritesNothing) {
  p.processes.Add(4, kJavaPath);
  cycle.Timer1();
  EXPECT_EQ(p.files.appends, 0);
}

TEST_F(SupervisionCycleTest, NothingRunningOnlyRefreshesTheTray) {
  cycle.Timer1();
  EXPECT_TRUE(p.launcher.launches.empty());
  EXPECT_TRUE(p.processes.terminated.empty());
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kGreen);
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kGreen);
  EXPECT_FALSE(p.controls.stripVisible);
  EXPECT_EQ(p.processes.snapshots, 2) << "controller scan, then the termination walk";
  ExpectTray(1, 0, VersionTipText());
}

TEST_F(SupervisionCycleTest, ControllerGoneTerminatesTheBridgeSilently) {
  LogOn();
  p.processes.Add(4, "C:\\Windows\\explorer.exe");
  p.processes.Add(8, kBridgePath);
  cycle.Timer1();
  EXPECT_EQ(p.processes.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{8, 1}}));
  EXPECT_TRUE(p.launcher.launches.empty());
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kGreen) << "the cycle does not recolour on a stop";
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kGreen);
  EXPECT_FALSE(p.controls.stripVisible);
  // Only the two walks' process lines between BEFORE and AFTER; the second walk reads nothing anew.
  const std::string kept = " - DESDE 2020-06-07 17:03:28 - ";
  EXPECT_EQ(LogTexts(), (Lines{kBefore, "C:\\Windows\\explorer.exe - 1000", std::string(kBridgePath) + " - 1004",
                               "C:\\Windows\\explorer.exe" + kept + "1000", kBridgePath + kept + "1004", kAfter}));
  EXPECT_EQ(p.files.appends, 2) << "the banner, then the whole cycle in one append";
  ExpectTray(1, 0, VersionTipText());
}

// Start-up has just launched the controller, whose launcher starts javaw.exe
// a moment later: the bridge launched before it is left alone until
// javaw.exe has been seen or 30 s have passed. Each step: the time since the
// launch, whether javaw.exe runs; then the step whose cycle ends the bridge.
TEST_F(SupervisionCycleTest, BridgeIsLeftAloneWhileTheControllerStarts) {
  struct Step {
    std::uint64_t sinceLaunchMs;
    bool javaw;
  };
  struct Row {
    const char* name;
    bool launchedAtStart;
    std::vector<Step> steps;
    int terminatedAt;  // -1: never
  };
  const Row kRows[] = {
      {"first cycle, controller still starting", true, {{10, false}}, -1},
      {"controller never appears", true, {{10, false}, {27010, false}, {29999, false}, {30000, false}}, 3},
      {"controller seen once, then gone", true, {{10, true}, {3010, false}}, 1},
      {"controller's launch failed at start-up", false, {{10, false}}, 0},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    fakes::FakeProcessTable table;
    ProcessServices services{table, log};
    SystemEvents rowEvents{p.events, p.clock, BuiltInPrograms()};
    SupervisionCycle c{RowDeps(services, rowEvents, nullptr)};
    table.Add(8, kBridgePath);
    const std::uint64_t launched = p.clock.ms;
    if (row.launchedAtStart) c.ControllerLaunched();
    int terminatedAt = -1;
    for (std::size_t i = 0; i < row.steps.size(); ++i) {
      p.clock.ms = launched + row.steps[i].sinceLaunchMs;
      table.processes.erase(std::remove_if(table.processes.begin(), table.processes.end(),
                                           [](const auto& pr) { return pr.id == 4; }),
                            table.processes.end());
      if (row.steps[i].javaw) table.Add(4, kJavaPath);
      c.Timer1();
      if (terminatedAt < 0 && !table.terminated.empty()) terminatedAt = static_cast<int>(i);
    }
    EXPECT_EQ(terminatedAt, row.terminatedAt);
    EXPECT_EQ(p.events.events.size(), row.terminatedAt < 0 ? 0u : 1u) << "one termination event";
    p.events.events.clear();
  }
}

// A launcher that is slow to start javaw.exe keeps the bridge: the grace lasts
// while that very launcher runs, up to the cap, and 30 s from the last cycle
// that saw it. Each step: the time since the launch, whether the launcher
// still runs, whether its javaw.exe does; then the step that ends the bridge.
TEST_F(SupervisionCycleTest, BridgeIsKeptWhileTheControllersLauncherRuns) {
  struct Step {
    std::uint64_t sinceLaunchMs;
    bool launcher;
    bool javaw;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    int terminatedAt;                                             // -1: never
    std::uint64_t launcherCreated = fakes::FakeCreationTime(16);  // another: the id was given again
  };
  constexpr std::uint64_t kCap = kControllerLauncherGraceCapMs;
  const Row kRows[] = {
      {"launcher waits 35 s, then starts javaw.exe",
       {{10, true, false}, {30010, true, false}, {35010, false, true}, {38010, false, true}},
       -1},
      {"launcher ends at 35 s without javaw.exe",
       {{10, true, false}, {35000, true, false}, {35010, false, false}, {64999, false, false}, {65000, false, false}},
       4},
      {"launcher still running at the cap",
       {{10, true, false}, {kCap - 1, true, false}, {kCap + 29998, true, false}, {kCap + 29999, true, false}},
       3},
      {"launcher that ended at once", {{10, false, false}, {29999, false, false}, {30000, false, false}}, 2},
      {"launcher's id given to another process", {{10, true, false}, {30000, true, false}}, 1, 77},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    fakes::FakeProcessTable table;
    ProcessServices services{table, log};
    LaunchedPrograms rowLaunched{table, p.launchRecord};
    SystemEvents rowEvents{p.events, p.clock, BuiltInPrograms()};
    SupervisionCycle c{RowDeps(services, rowEvents, &rowLaunched)};
    table.Add(8, kBridgePath);
    const std::uint64_t launched = p.clock.ms;
    c.ControllerLaunched({16, fakes::FakeCreationTime(16)});
    int terminatedAt = -1;
    for (std::size_t i = 0; i < row.steps.size(); ++i) {
      const Step& step = row.steps[i];
      p.clock.ms = launched + step.sinceLaunchMs;
      table.processes.erase(std::remove_if(table.processes.begin(), table.processes.end(),
                                           [](const auto& pr) { return pr.id == 4 || pr.id == 16; }),
                            table.processes.end());
      if (step.launcher) table.Add(16, kController.installPath).created = row.launcherCreated;
      if (step.javaw) {
        auto& javaw = table.Add(4, kJavaPath);
        javaw.parentId = 16;
        javaw.created = 600004;  // after its launcher
      }
      c.Timer1();
      if (terminatedAt < 0 && !table.terminated.empty()) terminatedAt = static_cast<int>(i);
    }
    EXPECT_EQ(terminatedAt, row.terminatedAt);
    EXPECT_EQ(table.OpenHandles(), 0);
    if (row.steps.back().javaw) {
      EXPECT_EQ(rowLaunched.Current().javaw, (RecordedProcess{4, 600004}))
          << "the launcher's javaw.exe is recorded for a later monitor";
    }
  }
}

// Every bridge the cycle starts is recorded, so that a monitor started again
// adopts it; the one it replaces, running on under another name, is
// reported once per start and does not stop the launch.
TEST_F(SupervisionCycleTest, RelaunchedBridgeIsRecordedAndAnotherNameReportedOnce) {
  p.processes.Add(4, kJavaPath);
  p.launcher.onLaunch = [this](const std::string&, std::uint32_t id) {
    p.processes.Add(static_cast<std::int32_t>(id), "C:\\Puente\\Puente.exe");
  };
  for (int i = 0; i < 3; ++i) cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 3u);
  EXPECT_EQ(launched.Current().bridge, (RecordedProcess{4008, fakes::FakeCreationTime(4008)}));
  EXPECT_EQ(*ParseLaunchRecord(*p.launchRecord.stored), launched.Current());
  std::vector<fakes::FakeSystemEventLog::Event> named;
  for (const auto& e : p.events.events)
    if (e.id == EventId::BridgeUnderOtherName) named.push_back(e);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0].level, EventLevel::Error);
  EXPECT_EQ(named[0].strings,
            (std::vector<std::string>{"LINTARO.exe launched by the monitor runs as Puente.exe, which its running "
                                      "check (Lintaro.exe) does not match",
                                      "Lintaro.exe", "Puente.exe", "4000"}));
}

// A bridge the scan cannot read runs on under its own name: it is started
// again, but it is no bridge under another name.
TEST_F(SupervisionCycleTest, BridgeHiddenFromTheScanIsNotReportedUnderAnotherName) {
  p.processes.Add(4, kJavaPath);
  p.launcher.onLaunch = [this](const std::string&, std::uint32_t id) {
    auto& hidden = p.processes.Add(static_cast<std::int32_t>(id), kBridgePath);
    hidden.openForRead = false;
    hidden.imageReadable = false;
  };
  cycle.Timer1();
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 2u);
  for (const auto& e : p.events.events) EXPECT_NE(e.id, EventId::BridgeUnderOtherName);
}

// From the system's question until its answer the cycle neither launches nor
// terminates, yet reads the control file and refreshes the tray; a cancelled
// shutdown, or no answer in 60 s, lets it supervise again.
TEST_F(SupervisionCycleTest, NothingIsStartedOrEndedWhileTheSessionEnds) {
  p.processes.Add(4, kJavaPath);
  p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
  cycle.SessionEnding();
  cycle.Timer1();
  EXPECT_TRUE(p.launcher.launches.empty()) << "the bridge is not started into a dying session";
  ExpectTray(1, 4, kHoldingTip);
  p.processes.processes.clear();
  p.processes.Add(8, kBridgePath);
  cycle.Timer1();
  EXPECT_TRUE(p.processes.terminated.empty());

  cycle.SessionGoesOn();  // the shutdown was cancelled
  cycle.Timer1();
  EXPECT_EQ(p.processes.terminated.size(), 1u);

  p.processes.Add(4, kJavaPath);
  cycle.SessionEnding();
  p.clock.ms += kSessionEndAnswerMs - 1;
  cycle.Timer1();
  EXPECT_TRUE(p.launcher.launches.empty());
  p.clock.ms += 1;  // no answer in 60 s: taken as cancelled
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 1u);
}

TEST_F(SupervisionCycleTest, BothRunningDoesNothing) {
  p.processes.Add(4, kJavaPath);
  p.processes.Add(8, kBridgePath);
  cycle.Timer1();
  EXPECT_TRUE(p.launcher.launches.empty());
  EXPECT_TRUE(p.processes.terminated.empty());
  EXPECT_EQ(p.processes.snapshots, 2);
  EXPECT_EQ(p.journal, (Lines{"tray modify"}));
}

TEST_F(SupervisionCycleTest, MissingBridgeIsRelaunchedWhileTheControllerRuns) {
  LogOn();
  p.processes.Add(4, kJavaPath);
  p.controls.SetButtonColour(ProgramButton::CBLINTARO, kRed);
  p.controls.SetButtonColour(ProgramButton::CBPellux, kRed);
  cycle.Timer1();
  ASSERT_EQ(p.launcher.launches.size(), 1u);
  EXPECT_EQ(p.launcher.launches[0].first, kBridge.installPath);
  EXPECT_EQ(p.launcher.launches[0].second, kBridge.installFolder);
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kGreen);
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kRed) << "the controller's button is never touched";
  EXPECT_FALSE(p.controls.stripVisible);
  const Lines lines = LogTexts();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "ARRANCA LINTARO.exe - RetVal: 4000");
  EXPECT_EQ(lines.back(), kAfter);

  // The new bridge is found on the next cycle: no second launch.
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 1u);
}

// Another session's programs are neither counted nor ended, whoever owns
// them: the same account's other session, another user's (which refuses
// every open), or an administrator's. Each row: where the controller and
// the bridge run; whether this session's bridge is ended or launched.
TEST_F(SupervisionCycleTest, AnotherSessionsProgramsAreNeitherCountedNorEnded) {
  using Owner = fakes::FakeProcessTable::Owner;
  struct Case {
    const char* name;
    SessionId controller;  // kNone: not running
    SessionId bridge;
    Owner owner;  // of what runs in another session
    bool bridgeEnded, bridgeLaunched;
    bool holds = false;         // this monitor holds its mark afterwards
    bool otherMonitor = false;  // session 2's monitor holds its mark, or the claim
    int seenCycles = 3;         // of the three, those before the snapshot fails
    SessionId ownSession = fakes::kOwnSession;
    SessionId markMeanwhile = 0;     // its monitor takes its mark just as this one takes its own
    bool bridgeRefusesEnd = false;   // the termination open is refused
    bool leftSaid = false;           // the log says once that the bridge is left to session 2's monitor
    bool sessionsListFails = false;  // from seenCycles on, only the sessions' list fails
  };
  const SessionId own = fakes::kOwnSession;
  constexpr SessionId kNone = ~SessionId{0};
  const Case cases[] = {
      {"both here", own, own, Owner::Us, false, false, true},
      {"controller elsewhere, same account", 2, own, Owner::Us, true, false},
      {"controller elsewhere, another user", 3, own, Owner::OtherUser, true, false},
      {"a Java service in session 0", 0, own, Owner::OtherUser, true, false},
      {"bridge elsewhere, same account", own, 2, Owner::Us, false, false, true},
      {"bridge elsewhere, another user", own, 3, Owner::OtherUser, false, false, true},
      {"bridge elsewhere, elevated", own, 2, Owner::Elevated, false, false, true},
      {"bridge in session 0", own, 0, Owner::OtherUser, false, false, true},
      {"both elsewhere", 2, 2, Owner::Us, false, false},
      {"controller here, no bridge anywhere", own, kNone, Owner::Us, false, true, true},
      // Another monitor supervises: this session's Java program launches no bridge.
      {"controller here, another monitor supervises", own, kNone, Owner::Us, false, false, false, true, 3, own, 0,
       false, true},
      // Unseen, another session's monitor and bridge may be there: nothing is launched, no mark taken, one kept.
      {"controller here, no bridge, no snapshot", own, kNone, Owner::Us, false, false, false, false, 0},
      {"both here, then no snapshot", own, own, Owner::Us, false, false, true, false, 1},
      {"controller here, another monitor's mark unseen", own, kNone, Owner::Us, false, false, false, true, 0, own, 0,
       false, false, true},
      // Two monitors took their marks at once: the lower session keeps its own and supervises.
      {"controller here, session 2's monitor took its mark too", own, kNone, Owner::Us, false, true, true, false, 3,
       own, 2},
      {"controller here, session 2's monitor took its mark too, a lower session", 3, kNone, Owner::Us, false, false,
       false, false, 3, 3, 2, false, true},
      {"controller gone, the bridge refuses its end", kNone, own, Owner::Us, false, false, true, false, 3, own, 0,
       true},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    f.launcher.onLaunch = [&f](const std::string& path, std::uint32_t id) {
      f.processes.Add(static_cast<std::int32_t>(id), path);
    };
    f.processes.ownSession = c.ownSession;
    if (c.controller != kNone)
      f.processes.AddInSession(4, kJavaPath, c.controller, c.controller == c.ownSession ? Owner::Us : c.owner);
    if (c.bridge != kNone)
      f.processes.AddInSession(8, kBridgePath, c.bridge, c.bridge == c.ownSession ? Owner::Us : c.owner)
          .openForTerminate = !c.bridgeRefusesEnd;
    if (c.otherMonitor || c.markMeanwhile != 0) f.processes.AddInSession(12, "C:\\Windows\\explorer.exe", 2);
    if (c.otherMonitor) f.mark.elsewhere = {2};
    if (c.markMeanwhile != 0) f.mark.takenMeanwhile = {c.markMeanwhile};
    EventLog l{f.files, f.clock};
    f.files.AddFile(kLog);
    l.InitLog(LogFileBeside(folder));
    SystemEvents e{f.events, f.clock, BuiltInPrograms()};
    ProcessServices s{f.processes, l};
    MainWindow w{f.controls, f.timers, tray};
    SupervisionCycle cyc{{f.timers,
                          f.clock,
                          l,
                          e,
                          s,
                          f.launcher,
                          w,
                          f.files,
                          folder,
                          version,
                          BuiltInPrograms(),
                          controlFile,
                          [] {},
                          nullptr,
                          {},
                          {},
                          {},
                          nullptr,
                          &f.mark}};
    for (int i = 0; i < 3; ++i) {
      (c.sessionsListFails ? f.processes.failSessions : f.processes.failFamilies) = i >= c.seenCycles;
      cyc.Timer1();
    }
    EXPECT_EQ(f.processes.terminated.size(), c.bridgeEnded ? 1u : 0u) << c.name;
    for (const auto& [id, code] : f.processes.terminated) EXPECT_EQ(id, 8) << c.name;
    EXPECT_EQ(f.launcher.launches.size(), c.bridgeLaunched ? 1u : 0u) << c.name;
    EXPECT_EQ(f.mark.held, c.holds) << c.name;
    const Lines texts = fakes::LogTextsAfterBanner(f.files.Contents(kLog));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "El Programa 'javaw.exe' Esta Rodando en la Sesion 2!!!"),
              c.leftSaid ? 1 : 0)
        << c.name;
    // A bridge elsewhere while the controller runs here: said once, amber.
    const bool said = c.controller == c.ownSession && c.bridge != c.ownSession && c.bridge != kNone;
    const std::vector<EventId> ids = f.events.Ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::BridgeInOtherSession), said ? 1 : 0) << c.name;
    if (said) {
      EXPECT_EQ(f.controls.stripText,
                "El Programa 'Lintaro.exe' Esta Rodando en la Sesion " + std::to_string(c.bridge) + "!!!")
          << c.name;
      EXPECT_EQ(f.controls.colours[ProgramButton::CBLINTARO], kAmber) << c.name;
    }
  }
}

// The other session's bridge goes: this session's is launched; one comes
// back in a third session: said again, once.
TEST_F(SupervisionCycleTest, ABridgeInAnotherSessionIsSaidOncePerChange) {
  p.processes.Add(4, kJavaPath);
  p.processes.AddInSession(8, kBridgePath, 2);
  cycle.Timer1();
  cycle.Timer1();
  EXPECT_EQ(p.events.Ids(), std::vector<EventId>{EventId::BridgeInOtherSession});
  p.processes.processes.pop_back();
  cycle.Timer1();
  ASSERT_EQ(p.launcher.launches.size(), 1u);
  p.processes.processes.pop_back();  // the launched bridge dies at once
  p.processes.AddInSession(12, kBridgePath, 3);
  cycle.Timer1();
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 1u);
  EXPECT_EQ(p.events.Ids(), (std::vector<EventId>{EventId::BridgeInOtherSession, EventId::BridgeRelaunched,
                                                  EventId::BridgeInOtherSession}));
  EXPECT_EQ(p.events.events.back().strings.at(2), "3");
}

// The bridge's windows, looked at while BridgeHungSeconds is set. Each row:
// the seconds set; the bridge's windows at each cycle, 3 s apart, a letter a
// window by its place ('a' answers, 'h' does not, 'g' does not and is hidden
// behind the system's ghost, 'x' answers hidden, '-' none there); what the
// monitor is doing; the cycle that ends the bridge (-1: none), which the next
// cycle starts again, and the seconds it reports.
TEST_F(SupervisionCycleTest, ABridgeIsEndedOnlyOnceAllItsWindowsWentUnansweredForItsSeconds) {
  // EndsMidRun: the session starts to end at the third cycle, and goes on at the fifth.
  enum class Doing { Supervising, Holding, SessionEnding, Waiting, EndsMidRun };
  struct Row {
    const char* name;
    std::uint32_t seconds;
    std::vector<std::string> windows;
    Doing doing;
    int endedAt;
    int reported = 12;
  };
  const std::vector<std::string> hung(8, "h");
  const Row rows[] = {
      {"off", 0, hung, Doing::Supervising, -1},
      {"unanswered the full time", 10, hung, Doing::Supervising, 4},
      {"answers again in between", 10, {"h", "h", "h", "a", "h", "h", "h", "h", "h"}, Doing::Supervising, 8},
      {"one of two answers", 10, {"hh", "ha", "ah", "hh", "hh", "hh", "hh", "hh"}, Doing::Supervising, 7},
      {"no window", 10, {"", "", "", "", "", "", "", ""}, Doing::Supervising, -1},
      {"holding", 10, hung, Doing::Holding, -1},
      {"session ending", 10, hung, Doing::SessionEnding, -1},
      {"waiting for another session", 10, hung, Doing::Waiting, -1},
      {"a multiple of the cycle", 9, hung, Doing::Supervising, 3, 9},
      {"the session starts to end in the run", 10, std::vector<std::string>(10, "h"), Doing::EndsMidRun, 8},
      {"hidden behind its ghost once seen", 10, {"h", "g", "g", "g", "g", "g"}, Doing::Supervising, 4},
      {"one of two hidden behind its ghost", 10, {"ha", "hg", "hg", "hg", "hg", "hg"}, Doing::Supervising, 5},
      {"gone with its ghost: the run begins again",
       10,
       {"h", "g", "-", "h", "h", "h", "h", "h"},
       Doing::Supervising,
       7},
      {"hidden before it was ever seen", 10, {"g", "g", "g", "g", "g", "g"}, Doing::Supervising, -1},
      {"answered while hidden, then hangs hidden",
       10,
       {"a", "x", "g", "g", "g", "g", "g", "g"},
       Doing::Supervising,
       -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    p.processes.processes.clear();
    p.processes.Add(8, kBridgePath);
    // Waiting: the controller runs in another session only.
    p.processes.AddInSession(4, kJavaPath, row.doing == Doing::Waiting ? 2 : fakes::kOwnSession);
    // whose monitor supervises it
    p.mark.elsewhere = row.doing == Doing::Waiting ? std::set<SessionId>{2} : std::set<SessionId>{};
    p.files.Remove("C:\\Monitor\\Pellux.stp");
    if (row.doing == Doing::Holding) p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
    p.ClearRecords();
    p.windows = {};
    SystemEvents rowEvents{p.events, p.clock, BuiltInPrograms()};
    SupervisionCycle::Deps deps = RowDeps(processes, rowEvents, nullptr);
    deps.windows = &p.windows;
    deps.mark = &p.mark;
    SupervisionCycle cyc{deps};
    cyc.WatchBridgeWindows(row.seconds);
    if (row.doing == Doing::SessionEnding) cyc.SessionEnding();
    if (row.doing == Doing::Waiting) cyc.WaitForOtherSession();
    int endedAt = -1;
    for (std::size_t i = 0; i < row.windows.size() && endedAt < 0; ++i) {
      std::vector<TopLevelWindow>& windows = p.windows.listed[8];
      windows.clear();
      for (std::size_t w = 0; w < row.windows[i].size(); ++w) {
        const char letter = row.windows[i][w];
        if (letter != '-') windows.push_back({w + 1, letter == 'a' || letter == 'h', letter == 'a' || letter == 'x'});
      }
      if (row.doing == Doing::EndsMidRun && i == 2) cyc.SessionEnding();
      if (row.doing == Doing::EndsMidRun && i == 4) cyc.SessionGoesOn();
      cyc.Timer1();
      if (!p.processes.terminated.empty()) endedAt = static_cast<int>(i);
      p.clock.ms += 3000;
    }
    EXPECT_EQ(endedAt, row.endedAt);
    EXPECT_LE(p.windows.looks, static_cast<int>(row.windows.size())) << "at most one look a cycle";
    if (row.seconds == 0) {
      EXPECT_EQ(p.windows.looks, 0) << "none while the check is off";
    }
    if (endedAt < 0) {
      EXPECT_TRUE(p.events.events.empty() || p.events.events.back().id != EventId::BridgeHung);
      continue;
    }
    EXPECT_EQ(p.controls.stripText, "El Programa 'LINTARO.exe' NO Responde!!!");
    const std::string seconds = std::to_string(row.reported);
    EXPECT_EQ(p.events.events.back().strings,
              (std::vector<std::string>{"El Programa 'LINTARO.exe' NO Responde!!! - TERMINADO - PID: 8 - " + seconds +
                                            " Segundos",
                                        "LINTARO.exe", "8", seconds, "1"}));
    cyc.Timer1();
    EXPECT_EQ(p.launcher.launches.size(), 1u) << "started again by the next cycle";
  }
}

// A supervised program's end, told at once, brings the cycle forward; the
// tick then decides with every rule it has. Each row: what is set up, which
// process ends how long after the regular cycle (the bridge launched there
// when none ran, else found by two), whether Timer1 is brought forward, what the early tick
// does, and the handles still held afterwards.
TEST_F(SupervisionCycleTest, AnEndToldBringsTheCycleForwardWithEveryRule) {
  enum class Ends { Bridge, Controller, OtherJava };
  enum class Setup { None, Hold, MarkElsewhere, Starting, Waiting, SessionEnding, Match, NoBridge, YoungBridgeGone };
  struct Row {
    const char* name;
    Setup setup;
    Ends ends;
    std::uint64_t afterMs;
    bool early;
    std::size_t launches, terminated, held;
  };
  const Row rows[] = {
      {"bridge killed while the controller runs", Setup::None, Ends::Bridge, 100, true, 1, 0, 2},
      {"controller ended", Setup::None, Ends::Controller, 100, true, 0, 1, 0},
      {"bridge that ran for less than a cycle", Setup::NoBridge, Ends::Bridge, 2900, false, 0, 0, 1},
      {"bridge killed as the regular cycle is due, which is not put off", Setup::None, Ends::Bridge, 2995, false, 0, 0,
       1},
      {"held", Setup::Hold, Ends::Bridge, 100, true, 1, 0, 2},
      {"another session's monitor supervises", Setup::MarkElsewhere, Ends::Bridge, 100, true, 0, 0, 1},
      {"controller still starting", Setup::Starting, Ends::Bridge, 100, false, 0, 0, 0},
      {"waiting for another session", Setup::Waiting, Ends::Bridge, 100, false, 0, 0, 0},
      {"session ending", Setup::SessionEnding, Ends::Bridge, 100, true, 0, 0, 1},
      {"somebody's Java beside the controller", Setup::Match, Ends::OtherJava, 100, false, 0, 0, 2},
      {"controller ended after its new bridge went at once, another Java runs on", Setup::YoungBridgeGone,
       Ends::Controller, 100, true, 0, 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    p.processes.processes.clear();
    p.files.Remove("C:\\Monitor\\Pellux.stp");
    if (row.setup == Setup::Hold) p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
    const bool marked = row.setup == Setup::MarkElsewhere || row.setup == Setup::Waiting;
    p.mark.elsewhere = marked ? std::set<SessionId>{2} : std::set<SessionId>{};
    p.processes.AddInSession(40, kJavaPath, 2);  // the other session's own, where its mark stands
    if (row.setup != Setup::Starting) p.processes.Add(4, kJavaPath).commandLine = "javaw -jar Pellux.jar";
    const bool young = row.setup == Setup::NoBridge || row.setup == Setup::YoungBridgeGone;
    if (row.setup == Setup::Match || row.setup == Setup::YoungBridgeGone)
      p.processes.Add(12, kJavaPath).commandLine = "javaw -jar hmi.jar";
    if (!young) p.processes.Add(8, kBridgePath);
    ProcessServices services{p.processes, log};
    if (row.setup == Setup::Match) services.Controller().Set("javaw.exe", "javaw", "Pellux.jar");
    SystemEvents rowEvents{p.events, p.clock, BuiltInPrograms()};
    SupervisionCycle::Deps deps = RowDeps(services, rowEvents, nullptr);
    deps.mark = &p.mark;
    deps.ends = &p.ends;
    auto c = std::make_unique<SupervisionCycle>(deps);
    if (row.setup == Setup::Starting) c->ControllerLaunched();
    if (row.setup == Setup::Waiting) c->WaitForOtherSession();
    // A bridge found counts from the first look that found it; one launched, from its launch.
    for (int look = young ? 1 : 2; look > 0; --look) {
      c->Timer1();
      p.clock.ms += look > 1 ? kCycleSpacingMs : 0;
    }
    if (row.setup == Setup::SessionEnding) c->SessionEnding();
    const std::int32_t bridge = young ? static_cast<std::int32_t>(p.launcher.nextId) - 4 : 8;
    if (row.setup == Setup::YoungBridgeGone) {  // it ends at once, and waits for the regular cycle
      p.processes.processes.pop_back();
      if (p.ends.AnyEnded()) c->ProgramEnded();
    }
    const std::int32_t gone = row.ends == Ends::Bridge ? bridge : row.ends == Ends::Controller ? 4 : 12;
    p.ClearRecords();
    p.clock.ms += row.afterMs;
    p.processes.processes.erase(std::remove_if(p.processes.processes.begin(), p.processes.processes.end(),
                                               [gone](const auto& pr) { return pr.id == gone; }),
                                p.processes.processes.end());
    if (p.ends.AnyEnded()) c->ProgramEnded();  // as the window is told
    EXPECT_EQ(p.timers.Interval(TimerId::Timer1), row.early ? kEndSeenDelayMs : kCycleSpacingMs);
    if (row.early) c->Timer1();
    EXPECT_EQ(p.launcher.launches.size(), row.launches);
    EXPECT_EQ(p.processes.terminated.size(), row.terminated);
    EXPECT_EQ(p.ends.held.size(), row.held) << "the handles on what is supervised, and no more";
    EXPECT_EQ(p.ends.held.count(gone), 0u) << "the ended one's handle given up";
    c.reset();
    EXPECT_TRUE(p.ends.held.empty()) << "given up with the cycle";
  }
}

TEST_F(SupervisionCycleTest, FailedLaunchShowsRedMessageOnEveryCycle) {
  LogOn();
  p.processes.Add(4, kJavaPath);
  p.launcher.results = {0, 0};
  cycle.Timer1();
  EXPECT_EQ(p.controls.stripText, "El Programa 'LINTARO.exe' NO Arranco!!!");
  EXPECT_EQ(p.controls.stripBack, kRed);
  EXPECT_EQ(p.controls.stripFore, kWhite);
  EXPECT_TRUE(p.controls.stripVisible);
  EXPECT_EQ(p.timers.Interval(TimerId::Timer3), 5000u);
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kRed);
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kGreen);
  Lines lines = LogTexts();
  EXPECT_EQ(lines[lines.size() - 2], "LINTARO.exe NO ARRANCO - RetVal: 0");

  window.Timer3();
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 2u);
  EXPECT_TRUE(p.controls.stripVisible) << "shown again while the launch keeps failing";
  EXPECT_EQ(p.controls.stripText, "El Programa 'LINTARO.exe' NO Arranco!!!");
}

// Any Java program counts as the controller, unless a text tells the
// controller apart: then only a javaw.exe whose path or command line holds it
// keeps the bridge. A command line is read once, with the least rights that
// read it; one that cannot be read (an elevated javaw.exe on Windows 7, a
// 64-bit one seen from the 32-bit monitor) keeps the bridge, said once.
TEST_F(SupervisionCycleTest, OnlyAJavaProgramThatCountsAsTheControllerKeepsTheBridge) {
  LogOn();
  const struct {
    const char *text, *path, *commandLine;  // "": the path in quotes
    bool readable, byQuery;                 // by a limited handle (Windows 8.1), else a full one (7, Wine)
    bool keeps;
    int reads;            // of command lines, over three cycles
    bool narrow = false;  // the 32-bit monitor, the javaw.exe 64-bit
  } rows[] = {
      {"", "D:\\Tools\\SomeOther\\bin\\JAVAW.EXE", "", true, true, true, 0},
      {"\\pellux\\", "D:\\Tools\\SomeOther\\bin\\JAVAW.EXE", "", true, true, false, 1},
      {"\\pellux\\", "C:\\Program Files\\PELLUX\\jre\\bin\\javaw.exe", "", false, true, true, 0},
      {"Pellux.jar", "C:\\Java\\bin\\javaw.exe", "javaw -jar C:\\Pellux\\pellux.JAR", true, false, true, 2},
      {"Pellux.jar", "C:\\Java\\bin\\javaw.exe", "javaw -jar hmi.jar", true, true, false, 1},
      {"Pellux.jar", "C:\\Java\\bin\\javaw.exe", "", false, false, true, 2},
      {"Pellux.jar", "C:\\Java\\bin\\javaw.exe", "javaw -jar hmi.jar", true, false, true, 2, true},
      {"Pellux.jar", "C:\\Java\\bin\\javaw.exe", "javaw -jar hmi.jar", true, true, false, 1, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " " + row.path + " " + row.commandLine + (row.narrow ? " narrow" : ""));
    p.processes.processes.clear();
    p.processes.commandLineReads = 0;
    p.processes.commandLineByQuery = row.byQuery;
    p.processes.narrowMonitor = row.narrow;
    auto& java = p.processes.Add(4, row.path);
    java.commandLine = row.commandLine;
    java.commandLineReadable = row.readable;
    java.sixtyFourBit = true;
    p.processes.Add(8, kBridgePath);
    const std::size_t linesBefore = LogTexts().size();
    ProcessServices services{p.processes, log};
    services.Controller().Set("javaw.exe", "javaw", row.text);
    SupervisionCycle rowCycle{RowDeps(services, events, nullptr)};
    for (int i = 0; i < 3; ++i) rowCycle.Timer1();
    EXPECT_EQ(p.processes.Running(8), row.keeps);
    EXPECT_EQ(p.processes.commandLineReads, row.reads);
    const Lines lines = LogTexts();
    const std::string unread = "NO se Pudo Leer la Linea de Comandos de '" + std::string(row.path) +
                               "' (4): Cuenta como Controlador, NO se Detiene";
    const bool undecided = row.reads > 0 && (!row.readable || (row.narrow && !row.byQuery));
    EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end(), unread),
              undecided ? 1 : 0);
  }
  p.processes.narrowMonitor = false;
}

TEST_F(SupervisionCycleTest, HoldingChangesOnlyTheTray) {
  p.files.AddFile("C:\\Monitor\\Pellux.stp", "#2020-06-07 17:03:28#,\"hold\"\r\n");
  p.processes.Add(4, kJavaPath);
  cycle.Timer1();
  EXPECT_EQ(p.launcher.launches.size(), 1u) << "supervision goes on while holding";
  ExpectTray(1, 4, std::string("PelluxMONITOR - Holding") + '\0');

  p.files.Remove("C:\\Monitor\\Pellux.stp");
  cycle.Timer1();
  ExpectTray(2, 0, VersionTipText());
}

TEST_F(SupervisionCycleTest, EndStopsTheCycleAtOnce) {
  LogOn();
  p.files.AddFile("C:\\Monitor\\Pellux.stp", "#2020-06-07 17:03:28#,\"END\"\r\n");
  p.processes.Add(4, kJavaPath);
  p.processes.Add(8, kBridgePath);
  cycle.Timer1();
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(p.journal.empty()) << "the tray is not touched by the cycle";
  EXPECT_EQ(p.timers.history, (std::vector<std::pair<TimerId, std::uint32_t>>{{TimerId::Timer1, 0}}));
  const Lines lines = LogTexts();
  EXPECT_EQ(lines.front(), kBefore);
  EXPECT_NE(lines.back(), kAfter);
  EXPECT_TRUE(p.processes.Running(4));
  EXPECT_TRUE(p.processes.Running(8)) << "the supervised programs outlive the monitor";

  cycle.Timer1();  // a tick already queued does nothing after the end
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(p.timers.history.size(), 1u);
}

TEST_F(SupervisionCycleTest, EndOnDriveDBeatsHoldBesideTheProgram) {
  p.files.AddFile("D:\\Pellux.stp", "x,\"END\"");
  p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
  cycle.Timer1();
  EXPECT_EQ(ends, 1);
}

// A failed allocation anywhere in a cycle reaches the window procedure, which
// drops it; the timer must already be armed again, and the next tick works.
TEST_F(SupervisionCycleTest, ExceptionInsideACycleLeavesTimer1Armed) {
  LogOn();
  p.processes.Add(4, kJavaPath);
  for (bool* throwOnce : {&p.files.throwOnNextAppend, &p.processes.throwOnNextList,
                          &p.files.throwOnNextRead}) {  // the cycle's lines, scan, control file
    p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
    p.processes.processes.resize(1);  // the bridge has gone
    *throwOnce = true;
    if (throwOnce == &p.files.throwOnNextAppend) {
      // The lines are written once the cycle is done: a write that fails
      // loses them and nothing more.
      EXPECT_NO_THROW(cycle.Timer1());
    } else {
      EXPECT_THROW(cycle.Timer1(), std::bad_alloc);
    }
    EXPECT_EQ(p.timers.history.back(), std::make_pair(TimerId::Timer1, 3000u));
    cycle.Timer1();
    EXPECT_EQ(p.processes.processes.back().path, kBridge.installPath);
    ExpectTray(p.tray.calls.size() - 1, 4, kHoldingTip);
    EXPECT_EQ(LogTexts().back(), kAfter);
  }
}

// A control file on a share that has gone: every cycle waits at most the
// look's deadline, counts it as no file (the one beside the monitor is read
// instead), goes on supervising, and the outage is told once; a second outage
// after the share answered is told again.
TEST_F(SupervisionCycleTest, ControlFileOnAShareThatHasGoneNeverHoldsTheCycle) {
  const std::string share = "\\\\srv\\ctl\\Pellux.stp";
  controlFile = share;
  p.files.clockMs = &p.clock.ms;
  p.files.unanswered.insert(share);
  p.files.AddFile(share, "x,\"END\"");  // there, but the network never answers
  p.files.AddFile("C:\\Monitor\\Pellux.stp", "x,\"HOLD\"");
  p.processes.Add(4, kJavaPath);
  const auto unanswered = [this] {
    std::vector<fakes::FakeSystemEventLog::Event> out;
    for (const auto& e : p.events.events)
      if (e.id == EventId::ControlFileUnanswered) out.push_back(e);
    return out;
  };
  for (int i = 0; i < 3; ++i) {
    const std::uint64_t before = p.clock.ms;
    cycle.Timer1();
    EXPECT_LE(p.clock.ms - before, 500u) << "the cycle waited past the deadline";
    EXPECT_EQ(p.launcher.launches.size(), 1u) << "supervision goes on";
    ExpectTray(p.tray.calls.size() - 1, 4, kHoldingTip);
  }
  EXPECT_EQ(ends, 0);
  EXPECT_EQ(p.files.longestLookWaitMs, kControlFileLookWaitMs);
  // The look the network holds is the only one: no cycle started another.
  EXPECT_EQ(std::count(p.files.looksAsked.begin(), p.files.looksAsked.end(), share), 1);
  EXPECT_EQ(std::count(p.files.existsAsked.begin(), p.files.existsAsked.end(), share), 0)
      << "the share was looked at on the window's thread";
  EXPECT_EQ(std::count(p.files.readsAsked.begin(), p.files.readsAsked.end(), share), 0);
  const std::vector<fakes::FakeSystemEventLog::Event> once{
      {EventLevel::Warning, EventId::ControlFileUnanswered, {"No answer from the control file " + share, share}}};
  EXPECT_EQ(unanswered(), once);

  // It answers: its own file counts again, and the outage is over.
  p.files.unanswered.clear();
  p.files.AddFile(share, "x,\"STOP\"");
  p.files.Remove("C:\\Monitor\\Pellux.stp");
  cycle.Timer1();
  ExpectTray(p.tray.calls.size() - 1, 4, kHoldingTip);
  EXPECT_EQ(unanswered().size(), 1u);
  // It goes again: a new outage, a new event, and the normal state meanwhile.
  p.files.unanswered.insert(share);
  cycle.Timer1();
  cycle.Timer1();
  ExpectTray(p.tray.calls.size() - 1, 0, VersionTipText());
  EXPECT_EQ(unanswered().size(), 2u);
  EXPECT_EQ(p.files.mostLooksOut[share], 1);
  // The end cancels the look still out.
  cycle.CancelLooks();
  EXPECT_EQ(p.files.looksCancelled, (Lines{share}));
  EXPECT_TRUE(p.files.looksOut.empty());
}

// A share that always answers after the wait still delivers: each late
// answer is used by the next cycle, which starts the next look only then;
// the outage is told once, for the first cycle that had no answer.
TEST_F(SupervisionCycleTest, ControlFileOnASlowShareDeliversItsLateAnswers) {
  const std::string share = "\\\\srv\\ctl\\Pellux.stp";
  controlFile = share;
  p.files.clockMs = &p.clock.ms;
  p.files.AddFile(share, "x,\"HOLD\"");
  p.processes.Add(4, kJavaPath);
  const struct {
    std::uint64_t answerAfterMs;
    std::uint64_t cycleSpacingMs;  // from the last cycle's end
    int picture;
    std::size_t looks;  // started in all, after the cycle
  } rows[] = {
      {2500, 0, 0, 1},                        // no answer within the wait: normal, the look stays out
      {2500, 1000, 0, 1},                     // still out: no second look, still normal
      {2500, 3000, 4, 2},                     // answered: HOLD, the next look starts
      {2500, 3000, 4, 3}, {100, 3000, 4, 4},  // the share is quick again: its fresh answer
      {100, 3000, 4, 5},
  };
  for (const auto& row : rows) {
    p.files.answerAfterMs[share] = row.answerAfterMs;
    p.clock.ms += row.cycleSpacingMs;
    const std::uint64_t before = p.clock.ms;
    cycle.Timer1();
    EXPECT_LE(p.clock.ms - before, kControlFileLookWaitMs);
    ExpectTray(p.tray.calls.size() - 1, row.picture, row.picture == 0 ? VersionTipText() : kHoldingTip);
    EXPECT_EQ(p.files.looksAsked.size(), row.looks);
  }
  EXPECT_EQ(p.files.mostLooksOut[share], 1);
  EXPECT_EQ(std::count_if(p.events.events.begin(), p.events.events.end(),
                          [](const auto& e) { return e.id == EventId::ControlFileUnanswered; }),
            1);
  // A quick share leaves nothing out; a fresh file content shows at once.
  p.files.AddFile(share, "x,\"END\"");
  cycle.Timer1();
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(p.files.looksOut.empty());
}

// A local control file is looked at as it always was, on the cycle's own thread.
TEST_F(SupervisionCycleTest, LocalControlFileIsReadWithoutALook) {
  p.files.AddFile("D:\\Pellux.stp", "x,\"HOLD\"");
  cycle.Timer1();
  EXPECT_TRUE(p.files.looksAsked.empty());
  EXPECT_EQ(p.files.existsAsked, (Lines{"D:\\Pellux.stp"}));
  EXPECT_EQ(p.files.readsAsked, (Lines{"D:\\Pellux.stp"}));
  // D: mapped to a share is a network drive: looked at off the thread.
  p.files.distantPrefixes.push_back("D:");
  p.files.existsAsked.clear();
  cycle.Timer1();
  EXPECT_EQ(p.files.looksAsked, (Lines{"D:\\Pellux.stp"}));
  EXPECT_TRUE(p.files.existsAsked.empty());
  EXPECT_EQ(p.files.readsAsked, (Lines{"D:\\Pellux.stp"})) << "the look's head was read again on this thread";
  ExpectTray(p.tray.calls.size() - 1, 4, kHoldingTip);
}

TEST_F(SupervisionCycleTest, HandlesBalancedAcrossCycles) {
  p.processes.Add(4, kJavaPath);
  p.processes.Add(8, "C:\\locked.exe").openForRead = false;
  for (int i = 0; i < 3; ++i) cycle.Timer1();
  p.processes.processes.erase(p.processes.processes.begin());  // the controller exits
  cycle.Timer1();
  EXPECT_EQ(p.processes.terminated.size(), 1u);
  EXPECT_EQ(p.processes.OpenHandles(), 0);
}

}  // namespace
}  // namespace pellux
