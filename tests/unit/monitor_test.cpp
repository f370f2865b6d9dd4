#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "app/monitor.h"
#include "app/start_guard.h"
#include "fakes/fakes.h"

namespace pellux {
namespace {

using fakes::Journal;

constexpr const char* kLog = "C:\\Monitor\\PelluxMONITOR.anc";
constexpr const char* kStamp = "#2020-06-07 17:03:28#,";
// Start-up boxes: OK only and no icon (low bits 0), foreground and topmost.
constexpr std::uint32_t kBoxInFront = 0x00050000;

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.files.AddFile(kController.installPath, "exe");
    fake.files.AddFile(kBridge.installPath, "exe");
  }

  void LogOn() { fake.files.AddFile(kLog); }

  // The log as a list of texts, stamps dropped.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : fakes::ParseLog(fake.files.Contents(kLog))) {
      EXPECT_EQ(line.stamp + ",", kStamp);
      texts.push_back(line.text);
    }
    return texts;
  }

  std::size_t BoxCount() const { return fake.dialogs.boxes.size(); }

  fakes::FakePlatform fake;
  Monitor monitor{fake.platform()};
};

TEST_F(StartupTest, NormalStartRunsEveryStepInOrder) {
  LogOn();
  monitor.Start();

  EXPECT_EQ(fake.journal,
            (Journal{"window create", "tray add", "window hide", "window show", "focus port",
                     std::string("launch ") + kBridge.installPath, std::string("launch ") + kController.installPath}));
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{kLogBanner, "PelluxMONITOR - STARTED!!!", "ARRANCA LINTARO.exe - RetVal: 4000",
                                      "ARRANCA Pellux.exe - RetVal: 4004"}));
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kGreen);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], kGreen);
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer1), 10u);
  EXPECT_EQ(BoxCount(), 0u);
  EXPECT_FALSE(monitor.Ended());
}

TEST_F(StartupTest, ProgramsStartInTheirOwnInstallFolders) {
  monitor.Start();
  ASSERT_EQ(fake.launcher.launches.size(), 2u);
  EXPECT_EQ(fake.launcher.launches[0].second, "C:\\Program Files\\Ferrowin\\LINTARO");
  EXPECT_EQ(fake.launcher.launches[1].second, "C:\\Program Files\\Pellux");
}

TEST_F(StartupTest, LoggingOffWritesNothing) {
  monitor.Start();
  EXPECT_FALSE(fake.files.Has(kLog));
  EXPECT_EQ(fake.files.appends, 0);
}

TEST_F(StartupTest, VersionComesFromTheRunningExecutablesOwnName) {
  fake.system.baseName = "Copia";
  monitor.Start();
  EXPECT_EQ(fake.system.versionAsked, "C:\\Monitor\\Copia.exe");
  EXPECT_EQ(monitor.AppVersion(), "1.0.0.0");
  EXPECT_EQ(fake.tray.Tip(0).substr(0, 25), std::string("PelluxMONITOR - v1.0.0.0") + '\0');
}

TEST_F(StartupTest, UnreadableVersionFallsBackToZeros) {
  fake.system.version = "";
  monitor.Start();
  EXPECT_EQ(monitor.AppVersion(), "0.0.0.0");
  EXPECT_EQ(fake.tray.Tip(0).substr(0, 25), std::string("PelluxMONITOR - v0.0.0.0") + '\0');
}

TEST_F(StartupTest, MissingBridgeEndsBeforeAnyWindowOrIcon) {
  LogOn();
  fake.files.Remove(kBridge.installPath);
  fake.files.Remove(kController.installPath);  // both missing: only the bridge is reported
  monitor.Start();

  EXPECT_EQ(fake.journal,
            (Journal{"box Falta el Archivo 'LINTARO.exe'\rEn la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'",
                     "box Chauuu...\r:(", "end"}));
  for (const auto& box : fake.dialogs.boxes) {
    EXPECT_EQ(box.caption, "PelluxMONITOR");
    EXPECT_EQ(box.style, kBoxInFront);
  }
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            kLogBanner, "PelluxMONITOR - STARTED!!!",
                            "Falta el Archivo 'LINTARO.exe' en la Carpeta 'C:\\Program Files\\Ferrowin\\LINTARO'"}));
  EXPECT_EQ(fake.controls.creates, 0);
  EXPECT_TRUE(fake.tray.calls.empty());
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_EQ(fake.lifetime.ends, 1);
  EXPECT_TRUE(monitor.Ended());
}

TEST_F(StartupTest, MissingControllerEndsAfterTheIconAndRemovesIt) {
  fake.files.Remove(kController.installPath);
  monitor.Start();

  EXPECT_EQ(fake.journal, (Journal{"window create", "tray add", "window hide",
                                   "box Falta el Archivo 'Pellux.exe'\rEn la Carpeta 'C:\\Program Files\\Pellux'",
                                   "box Chauuu...\r:(", "tray delete", "end"}));
  EXPECT_FALSE(fake.controls.shown);
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer1), 0u);
}

TEST_F(StartupTest, DirectoryAtAnInstallPathCountsAsInstalled) {
  fake.files.Remove(kBridge.installPath);
  fake.files.AddDirectory(kBridge.installPath);
  monitor.Start();
  EXPECT_EQ(fake.launcher.launches.size(), 2u);
}

struct LaunchCase {
  const char* name;
  std::uint32_t bridgeResult;
  std::uint32_t controllerResult;
  std::vector<std::string> boxes;
  Colour bridgeColour;
  Colour controllerColour;
  std::vector<std::string> launchLines;
};

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class StartupLaunchTest : public StartupTest, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(StartupLaunchTest, EachLaunchGivesItsBoxColourAndLine) {
  const LaunchCase& c = GetParam();
  LogOn();
  fake.launcher.results = {c.bridgeResult, c.controllerResult};
  // Nobody may answer a box for days: the other sessions do not wait on it.
  fake.dialogs.onBox = [this](const auto&) { EXPECT_FALSE(fake.claim.held); };
  monitor.Start();

  std::vector<std::string> boxes;
  for (const auto& b : fake.dialogs.boxes) {
    boxes.push_back(b.text);
    EXPECT_EQ(b.caption, "PelluxMONITOR");
    EXPECT_EQ(b.style, kBoxInFront);
  }
  EXPECT_EQ(boxes, c.boxes);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], c.bridgeColour);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], c.controllerColour);
  std::vector<std::string> lines = LogTexts();
  lines.erase(lines.begin(), lines.begin() + (lines.size() > 2 && lines[2].rfind("ControllerMatch", 0) == 0 ? 3 : 2));
  EXPECT_EQ(lines, c.launchLines);
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer1), 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Results, StartupLaunchTest,
    ::testing::Values(LaunchCase{"BridgeFails",
                                 0,
                                 812,
                                 {"El Programa 'LINTARO.exe' NO Arranco!!!"},
                                 kRed,
                                 kGreen,
                                 {"LINTARO.exe NO ARRANCO - RetVal: 0", "ARRANCA Pellux.exe - RetVal: 812"}},
                      LaunchCase{"ControllerFails",
                                 77,
                                 0,
                                 {"El Programa 'Pellux.exe' NO Arranco!!!"},
                                 kGreen,
                                 kRed,
                                 {"ARRANCA LINTARO.exe - RetVal: 77", "Pellux.exe NO ARRANCO - RetVal: 0"}},
                      LaunchCase{"BothFail",
                                 0,
                                 0,
                                 {"El Programa 'LINTARO.exe' NO Arranco!!!", "El Programa 'Pellux.exe' NO Arranco!!!"},
                                 kRed,
                                 kRed,
                                 {"LINTARO.exe NO ARRANCO - RetVal: 0", "Pellux.exe NO ARRANCO - RetVal: 0"}},
                      LaunchCase{"LargeIdInPlainDecimal",
                                 4294967292u,
                                 1000000,
                                 {},
                                 kGreen,
                                 kGreen,
                                 {"ARRANCA LINTARO.exe - RetVal: 4294967292", "ARRANCA Pellux.exe - RetVal: 1000000"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Without its window or Timer1 (the desktop's heap exhausted) the monitor
// would hold the session's mark and supervise nothing: it says so and ends
// with exit code 1, so that the next start can run.
TEST_F(StartupTest, MonitorWithoutWindowOrTimerEndsWithAnErrorAndItsExitCode) {
  struct Row {
    const char* what;
    bool window, timer;
    std::size_t launches;
  };
  for (const Row& row : {Row{"main window", false, true, 0u}, Row{"Timer1", true, false, 2u}}) {
    SCOPED_TRACE(row.what);
    fakes::FakePlatform f;
    f.files.AddFile(kController.installPath, "exe");
    f.files.AddFile(kBridge.installPath, "exe");
    f.controls.createSucceeds = row.window;
    if (!row.timer) f.timers.refused.insert(TimerId::Timer1);
    Monitor m{f.platform()};
    m.Start();
    EXPECT_TRUE(m.Ended());
    EXPECT_EQ(f.lifetime.exitCode, Monitor::kExitNoWindow);
    EXPECT_EQ(f.launcher.launches.size(), row.launches);
    const auto& e = f.events.events;
    ASSERT_GE(e.size(), 2u);
    EXPECT_EQ(e[e.size() - 2].id, EventId::WindowFailed);
    EXPECT_EQ(e[e.size() - 2].level, EventLevel::Error);
    EXPECT_EQ(e[e.size() - 2].strings.at(1), row.what);
    EXPECT_EQ(e.back().strings.at(1), "no window");
    if (row.window) {
      EXPECT_EQ(f.tray.calls.back().command, TrayCommand::Delete);
    }
  }
}

TEST_F(StartupTest, HiddenPortFieldIsNotFocused) {
  fake.controls.portVisible = false;
  monitor.Start();
  EXPECT_EQ(fake.controls.portFocus, 0);
}

TEST_F(StartupTest, CloseRequestRemovesTheIconThenEndsLeavingProgramsRunning) {
  fake.processes.Add(8, "C:\\Program Files\\Java\\bin\\javaw.exe");
  fake.processes.Add(12, "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe");
  // A control file on a share the network holds: its look is still out at the end.
  const std::string share = "\\\\srv\\ctl\\Pellux.stp";
  fake.settings.Set(SettingsKey::User, "ControlFile", share);
  fake.files.unanswered.insert(share);
  monitor.Start();
  monitor.OnTimer(TimerId::Timer1);
  fake.journal.clear();
  fake.processes.snapshots = 0;

  // Not even a report that runs out of memory keeps the monitor from ending.
  fake.events.throwOnNextWrite = true;
  monitor.OnCloseRequest();
  EXPECT_EQ(fake.journal, (Journal{"tray delete", "end"}));
  EXPECT_TRUE(fake.processes.terminated.empty());
  EXPECT_EQ(fake.lifetime.ends, 1);
  // The session's mark is given up and the look cancelled before the end.
  EXPECT_EQ(fake.lifetime.leavesBeforeEnd, 1);
  EXPECT_EQ(fake.files.looksCancelled, (std::vector<std::string>{share}));

  // Nothing runs once the program has ended.
  monitor.OnTimer(TimerId::Timer1);
  monitor.OnCloseRequest();
  EXPECT_EQ(fake.journal, (Journal{"tray delete", "end"}));
  EXPECT_EQ(fake.processes.snapshots, 0);
}

TEST_F(StartupTest, TaskbarCreatedPutsTheIconBack) {
  monitor.Start();
  monitor.OnTaskbarCreated();
  ASSERT_EQ(fake.tray.calls.size(), 2u);
  EXPECT_EQ(fake.tray.calls[1].command, TrayCommand::Add);
}

TEST_F(StartupTest, TimersReachTheirOwners) {
  monitor.Start();
  monitor.Window().ShowStatusMessage("m", kRed, kWhite);
  monitor.OnTimer(TimerId::Timer3);
  EXPECT_FALSE(fake.controls.stripVisible);
  EXPECT_TRUE(fake.controls.pictureVisible);
  // A supervised program's end brings Timer1 forward; nothing once the monitor has ended.
  fake.processes.Add(20, "C:\\Java\\bin\\javaw.exe");
  fake.processes.Add(24, kBridge.installPath);
  monitor.OnTimer(TimerId::Timer1);
  fake.clock.ms += kCycleSpacingMs;
  monitor.OnTimer(TimerId::Timer1);
  fake.processes.processes.pop_back();
  monitor.OnSupervisedProgramEnded();
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer1), kEndSeenDelayMs);
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_FALSE(fake.ends.held.empty());
  monitor.OnProgramButtonClick(ProgramButton::CBLINTARO);  // what the operator stops waits for the regular cycle
  EXPECT_TRUE(fake.ends.held.empty());
  monitor.OnCloseRequest();
  fake.processes.processes.clear();
  monitor.OnSupervisedProgramEnded();
  EXPECT_EQ(fake.timers.Interval(TimerId::Timer1), kCycleSpacingMs);
}

}  // namespace
}  // namespace pellux

namespace pellux {
namespace {

constexpr char kJavawPath[] = "C:\\Program Files\\Pellux\\jre\\bin\\javaw.exe";
constexpr std::int32_t kEarlierBridge = 12, kEarlierLauncher = 16, kEarlierJavaw = 20;

// What an earlier monitor of the session launched: the bridge, the
// controller's launcher and the javaw.exe that launcher started, each with
// the creation time the table gives it.
LaunchedSet EarlierLaunches(bool javawRecorded = true) {
  return {{kEarlierBridge, fakes::FakeCreationTime(kEarlierBridge)},
          {kEarlierLauncher, fakes::FakeCreationTime(kEarlierLauncher)},
          javawRecorded ? RecordedProcess{kEarlierJavaw, fakes::FakeCreationTime(kEarlierJavaw)} : RecordedProcess{}};
}

struct AdoptionCase {
  const char* name;
  std::function<void(fakes::FakePlatform&)> world;  // the record and the table at start
  std::vector<std::string> launched;                // install paths, in order
  std::vector<std::string> lines;                   // the log after STARTED
  std::vector<std::string> adoptedIds;              // the events' process ids
  LaunchedSet recordAfter;
};

void PrintTo(const AdoptionCase& c, std::ostream* os) { *os << c.name; }

void RunningEarlierPrograms(fakes::FakePlatform& f, bool javawRecorded = true) {
  f.launchRecord.stored = FormatLaunchRecord(EarlierLaunches(javawRecorded));
  f.processes.Add(kEarlierBridge, kBridge.installPath);
  f.processes.Add(kEarlierJavaw, kJavawPath).parentId = kEarlierLauncher;
}

const std::string kLaunchBridge = "ARRANCA LINTARO.exe - RetVal: 4000";
const RecordedProcess kNewBridge{4000, fakes::FakeCreationTime(4000)};

class StartupAdoptionTest : public StartupTest, public ::testing::WithParamInterface<AdoptionCase> {};

// A monitor started again in the same session (after a crash, an update or a
// closed window) takes over what the earlier one launched and still runs,
// those very processes only, and the log keeps its shape: the still-running
// line stands where the launch line would.
TEST_P(StartupAdoptionTest, WhatAnEarlierMonitorLaunchedIsAdoptedNotLaunchedAgain) {
  const AdoptionCase& c = GetParam();
  LogOn();
  c.world(fake);
  monitor.Start();

  std::vector<std::string> launched;
  for (const auto& l : fake.launcher.launches) launched.push_back(l.first);
  EXPECT_EQ(launched, c.launched);
  std::vector<std::string> lines = LogTexts();
  lines.erase(lines.begin(), lines.begin() + (lines.size() > 2 && lines[2].rfind("ControllerMatch", 0) == 0 ? 3 : 2));
  EXPECT_EQ(lines, c.lines) << "no process line before the first cycle";
  std::vector<std::string> adopted;
  for (const auto& e : fake.events.events)
    if (e.id == EventId::Adopted) adopted.push_back(e.strings.at(2));
  EXPECT_EQ(adopted, c.adoptedIds);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kGreen);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], kGreen);
  EXPECT_EQ(BoxCount(), 0u);
  EXPECT_EQ(fake.processes.OpenHandles(), 0);
  ASSERT_TRUE(fake.launchRecord.stored);
  EXPECT_EQ(ParseLaunchRecord(*fake.launchRecord.stored), c.recordAfter);
}

const RecordedProcess kNewLauncher4004{4004, fakes::FakeCreationTime(4004)};
const RecordedProcess kNewLauncher4000{4000, fakes::FakeCreationTime(4000)};

INSTANTIATE_TEST_SUITE_P(
    Record, StartupAdoptionTest,
    ::testing::Values(AdoptionCase{"BothStillRun",
                                   [](auto& f) { RunningEarlierPrograms(f); },
                                   {},
                                   {kBridge.stillRunning, kController.stillRunning},
                                   {"12", "20"},
                                   EarlierLaunches()},
                      AdoptionCase{"OnlyTheBridgeStillRuns",
                                   [](auto& f) {
                                     RunningEarlierPrograms(f);
                                     f.processes.processes.pop_back();  // the controller has ended
                                   },
                                   {kController.installPath},
                                   {kBridge.stillRunning, "ARRANCA Pellux.exe - RetVal: 4000"},
                                   {"12"},
                                   {EarlierLaunches().bridge, kNewLauncher4000, {}}},
                      AdoptionCase{"ControllerEndedButStillHeldOpen",
                                   [](auto& f) {
                                     RunningEarlierPrograms(f);
                                     f.processes.processes.back().exitCode = 1;
                                   },
                                   {kController.installPath},
                                   {kBridge.stillRunning, "ARRANCA Pellux.exe - RetVal: 4000"},
                                   {"12"},
                                   {EarlierLaunches().bridge, kNewLauncher4000, {}}},
                      AdoptionCase{"BridgeIdGivenToAnotherProcess",
                                   [](auto& f) {
                                     RunningEarlierPrograms(f);
                                     f.processes.processes.front().created += 7;  // id 12, started later
                                     f.processes.processes.front().path = "C:\\Windows\\notepad.exe";
                                   },
                                   {kBridge.installPath},
                                   {kLaunchBridge, kController.stillRunning},
                                   {"20"},
                                   {kNewBridge, EarlierLaunches().launcher, EarlierLaunches().javaw}},
                      AdoptionCase{"DamagedRecord",
                                   [](auto& f) {
                                     RunningEarlierPrograms(f);
                                     f.launchRecord.stored->at(30) ^= 1;  // one bit of the bridge's id
                                   },
                                   {kBridge.installPath, kController.installPath},
                                   {kLaunchBridge, "ARRANCA Pellux.exe - RetVal: 4004"},
                                   {},
                                   {kNewBridge, kNewLauncher4004, {}}},
                      // The recorded javaw.exe ended and the operator started the
                      // controller again from its launcher: a restart counts that one.
                      AdoptionCase{
                          "ARestartCountsTheControllerAnOperatorStarted",
                          [](auto& f) {
                            RunningEarlierPrograms(f);
                            f.processes.processes.pop_back();
                            f.processes.Add(44, kJavawPath).parentId = 40;
                          },
                          {},
                          {kBridge.stillRunning, kController.stillRunning},
                          {"12", "44"},
                          {EarlierLaunches().bridge, EarlierLaunches().launcher, {44, fakes::FakeCreationTime(44)}}},
                      AdoptionCase{"JavawNotYetRecordedIsFoundThroughItsLauncher",
                                   [](auto& f) { RunningEarlierPrograms(f, false); },
                                   {},
                                   {kBridge.stillRunning, kController.stillRunning},
                                   {"12", "20"},
                                   EarlierLaunches()},
                      // With a text, another Java program is not taken for the controller after a
                      // restart, nor a helper the launcher started before it.
                      AdoptionCase{"ARestartPassesOverAnotherJavaProgram",
                                   [](auto& f) {
                                     f.settings.Set(SettingsKey::User, "ControllerMatch", "\\Pellux\\");
                                     RunningEarlierPrograms(f);
                                     f.processes.processes.back().id = 44;  // not the one recorded
                                     f.processes.processes.back().path = "C:\\HMI\\jre\\bin\\javaw.exe";
                                   },
                                   {kController.installPath},
                                   {kBridge.stillRunning, "ARRANCA Pellux.exe - RetVal: 4000"},
                                   {"12"},
                                   {EarlierLaunches().bridge, kNewLauncher4000, {}}},
                      AdoptionCase{"TheLaunchersHelperIsNotTheController",
                                   [](auto& f) {
                                     f.settings.Set(SettingsKey::User, "ControllerMatch", "Pellux.jar");
                                     RunningEarlierPrograms(f, false);
                                     f.processes.processes.back().commandLine = "javaw -jar Pellux.jar";
                                     f.processes.Add(18, kJavawPath).parentId = kEarlierLauncher;
                                   },
                                   {},
                                   {kBridge.stillRunning, kController.stillRunning},
                                   {"12", "20"},
                                   EarlierLaunches()},
                      // Elevated on Windows 7: its command line cannot be read, and the launcher's
                      // javaw.exe is adopted all the same.
                      AdoptionCase{"AControllerWhoseCommandLineCannotBeReadIsAdopted",
                                   [](auto& f) {
                                     f.settings.Set(SettingsKey::User, "ControllerMatch", "Pellux.jar");
                                     f.processes.commandLineByQuery = false;
                                     RunningEarlierPrograms(f, false);
                                     f.processes.processes.back().commandLine = "javaw -jar Pellux.jar";
                                     f.processes.processes.back().openForRead = false;
                                   },
                                   {},
                                   {kBridge.stillRunning,
                                    std::string("NO se Pudo Leer la Linea de Comandos de '") + kJavawPath +
                                        "' (20): Cuenta como Controlador, NO se Detiene",
                                    kController.stillRunning},
                                   {"12", "20"},
                                   EarlierLaunches()}),
    [](const auto& info) { return std::string(info.param.name); });

// At the session's first start the record and the sessions the snapshot
// names are all that is looked at: no process is opened, and another Java
// program of the session does not keep the controller from its launch.
TEST_F(StartupTest, WithoutARecordNoProcessIsLookedAtBeforeTheLaunches) {
  fake.processes.Add(40, kJavawPath);
  monitor.Start();
  EXPECT_EQ(fake.launchRecord.reads, 1);
  EXPECT_EQ(fake.processes.opens, 0);
  EXPECT_EQ(fake.launcher.launches.size(), 2u);
  EXPECT_TRUE(fake.claim.held) << "the monitor that launches holds the workstation's claim";
}

// Adopted programs are supervised as launched ones: a bridge that goes is
// started again and recorded, and the adopted controller has no grace, so
// its end ends the bridge on the next cycle.
TEST_F(StartupTest, AdoptedProgramsAreSupervisedFromTheFirstCycle) {
  RunningEarlierPrograms(fake);
  fake.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
    fake.processes.Add(static_cast<std::int32_t>(id), path);
  };
  monitor.Start();
  fake.processes.processes.erase(fake.processes.processes.begin());  // the bridge is killed
  monitor.OnTimer(TimerId::Timer1);
  ASSERT_EQ(fake.launcher.launches.size(), 1u);
  EXPECT_EQ(fake.launcher.launches[0].first, kBridge.installPath);
  EXPECT_EQ(ParseLaunchRecord(*fake.launchRecord.stored)->bridge, kNewBridge);

  fake.processes.processes.erase(fake.processes.processes.begin());  // the controller ends
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.processes.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{4000, 1}}));
}

// A launcher an earlier monitor started that has not yet started javaw.exe
// is taken over as a controller starting: not launched again, and its
// bridge kept through the grace.
TEST_F(StartupTest, ALauncherStillStartingIsAdoptedWithItsGrace) {
  LogOn();
  fake.launchRecord.stored = FormatLaunchRecord(EarlierLaunches(false));
  fake.processes.Add(kEarlierBridge, kBridge.installPath);
  fake.processes.Add(kEarlierLauncher, kController.installPath);
  monitor.Start();
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_EQ(fake.events.events.back().strings,
            (std::vector<std::string>{kController.stillRunning, "Pellux.exe", "16"}));
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_TRUE(fake.processes.terminated.empty()) << "the bridge is kept while the controller starts";
  // The launcher hands over to its javaw.exe, which is recorded.
  fake.processes.processes.pop_back();
  fake.processes.Add(kEarlierJavaw, kJavawPath).parentId = kEarlierLauncher;
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(*ParseLaunchRecord(*fake.launchRecord.stored), EarlierLaunches());
}

// The launcher start-up launched keeps the bridge past the first 30 s for as
// long as it runs without javaw.exe, and 30 s more once it has ended.
TEST_F(StartupTest, ASlowLauncherStartUpLaunchedKeepsTheBridgeWhileItRuns) {
  fake.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
    fake.processes.Add(static_cast<std::int32_t>(id), path);
  };
  monitor.Start();
  const auto cyclesFor = [this](std::uint64_t ms) {
    for (std::uint64_t gone = 0; gone < ms; gone += kCycleSpacingMs) {
      fake.clock.ms += kCycleSpacingMs;
      monitor.OnTimer(TimerId::Timer1);
    }
  };
  cyclesFor(45000);
  EXPECT_TRUE(fake.processes.terminated.empty()) << "the launcher still runs";
  fake.processes.processes.pop_back();  // it ends without starting javaw.exe
  cyclesFor(kControllerStartGraceMs + kCycleSpacingMs);
  EXPECT_EQ(fake.processes.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{4000, 1}}));
}

// A controller whose launch failed at start gets no grace: with no javaw.exe
// the first cycle ends the bridge.
TEST_F(StartupTest, AFailedControllerLaunchStartsNoGrace) {
  fake.launcher.results = {12, 0};
  fake.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
    fake.processes.Add(static_cast<std::int32_t>(id), path);
  };
  monitor.Start();
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.processes.terminated, (std::vector<std::pair<std::int32_t, std::uint32_t>>{{12, 1}}));
}

// Timer1 refused at the end of a cycle is what it is at start: supervision
// would stop for good, so the monitor says so and ends with exit code 1.
TEST_F(StartupTest, Timer1ThatCannotBeArmedAgainEndsTheMonitor) {
  monitor.Start();
  fake.timers.refused.insert(TimerId::Timer1);
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_TRUE(monitor.Ended());
  EXPECT_EQ(fake.lifetime.exitCode, Monitor::kExitNoWindow);
  const auto& e = fake.events.events;
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(e[e.size() - 2].id, EventId::WindowFailed);
  EXPECT_EQ(e[e.size() - 2].strings.at(1), "Timer1");
  EXPECT_EQ(fake.tray.calls.back().command, TrayCommand::Delete);
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.lifetime.ends, 1);
}

// Before anything else the monitor asks whether it may supervise at all: not
// where no user sees it, not as a copy beside the machine-wide package. A
// refusal writes one event and gives the exit code; what cannot be told lets
// the start go on.
TEST(StartGuardTest, WhereNobodySeesItOrBesideTheMachineWidePackageItRefuses) {
  using Id = EventId;
  constexpr const char* kPerUser = "C:\\Users\\op\\AppData\\Local\\Programs\\PelluxMONITOR";
  constexpr const char* kMachine = "C:\\Program Files\\PelluxMONITOR\\PelluxMONITOR.exe";
  constexpr const char* kMachine32 = "C:\\Program Files (x86)\\PelluxMONITOR\\PelluxMONITOR.exe";
  struct Value {
    SettingsKey key;
    const char* name;
    const char* text;
    StoredKind kind = StoredKind::Text;
  };
  struct Row {
    const char* name;
    std::optional<std::uint32_t> session;
    std::optional<bool> visible;
    const char* folder;
    std::vector<Value> values;
    int exitCode;
    std::vector<fakes::FakeSystemEventLog::Event> events;
  };
  const Value installed{SettingsKey::Machine, "Installed", "", StoredKind::OtherType};
  const Value installed32{SettingsKey::Machine32, "Installed", "", StoredKind::OtherType};
  const std::string unseen = "PelluxMONITOR does not supervise where nobody can see it: ";
  const std::string beside =
      "PelluxMONITOR is installed for every user of this computer: this per-user copy starts "
      "nothing. Uninstall the per-user package.";
  const Row rows[] = {
      {"an operator's logon", 1, true, kPerUser, {}, 0, {}},
      {"session 0",
       0,
       true,
       kPerUser,
       {},
       kExitNobodySees,
       {{EventLevel::Error, Id::NobodySees, {unseen + "session 0", "session 0", "0"}}}},
      {"session 0 on a hidden station, told once",
       0,
       false,
       kPerUser,
       {installed, {SettingsKey::Machine, "Program", kMachine}},
       kExitNobodySees,
       {{EventLevel::Error, Id::NobodySees, {unseen + "session 0", "session 0", "0"}}}},
      {"a hidden window station",
       3,
       false,
       kPerUser,
       {},
       kExitNobodySees,
       {{EventLevel::Error,
         Id::NobodySees,
         {unseen + "window station not interactive", "window station not interactive", "3"}}}},
      {"a hidden window station, session unknown",
       std::nullopt,
       false,
       kPerUser,
       {},
       kExitNobodySees,
       {{EventLevel::Error,
         Id::NobodySees,
         {unseen + "window station not interactive", "window station not interactive", "-"}}}},
      {"nothing could be told", std::nullopt, std::nullopt, kPerUser, {}, 0, {}},
      {"a per-user copy beside the machine-wide package",
       1,
       true,
       kPerUser,
       {installed, {SettingsKey::Machine, "Program", kMachine}},
       kExitBesideMachineWide,
       {{EventLevel::Warning, Id::BesideMachineWide, {beside, kPerUser, kMachine}}}},
      {"beside the 32-bit machine-wide package",
       1,
       true,
       kPerUser,
       {installed32, {SettingsKey::Machine32, "Program", kMachine32}},
       kExitBesideMachineWide,
       {{EventLevel::Warning, Id::BesideMachineWide, {beside, kPerUser, kMachine32}}}},
      {"the machine-wide program itself, in other case",
       1,
       true,
       "c:\\program files\\PELLUXMONITOR",
       {installed, {SettingsKey::Machine, "Program", kMachine}},
       0,
       {}},
      {"the 32-bit machine-wide program itself",
       1,
       true,
       "C:\\Program Files (x86)\\PelluxMONITOR",
       {installed32, {SettingsKey::Machine32, "Program", kMachine32}},
       0,
       {}},
      {"a copy in a folder below the machine-wide one",
       1,
       true,
       "C:\\Program Files\\PelluxMONITOR\\Old",
       {installed, {SettingsKey::Machine, "Program", kMachine}},
       kExitBesideMachineWide,
       {{EventLevel::Warning, Id::BesideMachineWide, {beside, "C:\\Program Files\\PelluxMONITOR\\Old", kMachine}}}},
      {"a machine-wide package that names no program", 1, true, kPerUser, {installed}, 0, {}},
      {"a program named without the mark", 1, true, kPerUser, {{SettingsKey::Machine, "Program", kMachine}}, 0, {}},
      {"a program value of another type",
       1,
       true,
       kPerUser,
       {installed, {SettingsKey::Machine, "Program", "", StoredKind::OtherType}},
       0,
       {}},
      {"the per-user package's own mark",
       1,
       true,
       kPerUser,
       {{SettingsKey::User, "Installed", "", StoredKind::OtherType}, {SettingsKey::User, "Program", kMachine}},
       0,
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fakes::FakeSystemInfo system;
    fakes::FakeSettingsStore settings;
    fakes::FakeSystemEventLog events;
    system.session = row.session;
    system.stationVisible = row.visible;
    system.folder = row.folder;
    for (const Value& v : row.values) settings.Set(v.key, v.name, v.text, v.kind);
    EXPECT_EQ(RefuseToSupervise(system, settings, events), row.exitCode);
    EXPECT_EQ(events.events, row.events);
  }
}

// One controller and one bridge per workstation: when another logon session's
// monitor supervises (its javaw.exe with its mark held), a bridge runs in
// another session, or another monitor is launching, start-up launches
// neither, colours both buttons amber, says so on the strip, in the log and
// in one event, and its cycles launch and end nothing and write no event
// until no other monitor holds its mark or the claim and no bridge runs
// elsewhere; this session's own Java program changes nothing. Then it
// supervises as usual from the next cycle.
struct OtherSessionCase {
  const char* name;
  std::function<void(fakes::FakePlatform&)> world;
  EventId event;
  std::vector<std::string> strings;
};

void PrintTo(const OtherSessionCase& c, std::ostream* os) { *os << c.name; }

class OtherSessionStartTest : public StartupTest, public ::testing::WithParamInterface<OtherSessionCase> {};

TEST_P(OtherSessionStartTest, NothingIsLaunchedWhileAnotherSessionSupervises) {
  const OtherSessionCase& c = GetParam();
  LogOn();
  c.world(fake);
  fake.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
    fake.processes.Add(static_cast<std::int32_t>(id), path);
  };
  monitor.Start();
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], kAmber);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kAmber);
  EXPECT_EQ(fake.controls.stripText, c.strings.front());
  EXPECT_EQ(fake.controls.stripBack, kAmber);
  EXPECT_EQ(LogTexts().back(), c.strings.front());
  ASSERT_EQ(fake.events.events.size(), 2u);
  EXPECT_EQ(fake.events.events.back(), (fakes::FakeSystemEventLog::Event{EventLevel::Warning, c.event, c.strings}));
  EXPECT_FALSE(fake.claim.held);

  // Before the other session's programs show, its claim alone keeps the wait.
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kAmber);

  // The other session's monitor launches its bridge; this session has a
  // bridge of its own but no controller: it is not ended either.
  fake.processes.AddInSession(44, kBridge.installPath, 2);
  fake.processes.Add(8, kBridge.installPath);
  for (int i = 0; i < 3; ++i) monitor.OnTimer(TimerId::Timer1);
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_TRUE(fake.processes.terminated.empty());
  EXPECT_EQ(fake.events.events.size(), 2u);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], kAmber);

  // A click only checks again: amber while the other session runs it.
  monitor.OnProgramButtonClick(ProgramButton::CBPellux);
  EXPECT_TRUE(fake.launcher.launches.empty());
  EXPECT_TRUE(fake.processes.terminated.empty());

  // The operator starts the controller in this session: the wait goes on
  // while the other session's monitor supervises there.
  fake.processes.Add(60, kJavawPath);
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_NE(fake.events.events.back().id, EventId::OwnSessionAgain);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kAmber);

  // The other session's programs end, its monitor gives up its claim: while
  // the sessions' list fails, it may still hold its mark, whatever the
  // families' list says.
  fake.processes.processes.clear();
  fake.processes.Add(60, kJavawPath);
  fake.processes.AddInSession(12, "C:\\Windows\\explorer.exe", 2);
  fake.claim.free = true;
  fake.processes.failSessions = true;
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_NE(fake.events.events.back().id, EventId::OwnSessionAgain);
  fake.processes.failSessions = false;
  fake.mark.elsewhere.clear();
  fake.processes.failFamilies = true;  // unseen, they may still be there: the wait goes on
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_NE(fake.events.events.back().id, EventId::OwnSessionAgain);
  fake.processes.failFamilies = false;
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.events.events.back().id, EventId::OwnSessionAgain);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBPellux], kGreen);
  EXPECT_EQ(fake.controls.colours[ProgramButton::CBLINTARO], kRed);
  EXPECT_TRUE(fake.launcher.launches.empty()) << "supervised from the next cycle";
  monitor.OnTimer(TimerId::Timer1);
  ASSERT_EQ(fake.launcher.launches.size(), 1u);
  EXPECT_EQ(fake.launcher.launches[0].first, kBridge.installPath);
}

INSTANTIATE_TEST_SUITE_P(
    Workstation, OtherSessionStartTest,
    ::testing::Values(OtherSessionCase{"ControllerOfTheSameAccountsOtherSession",
                                       [](auto& f) {
                                         f.processes.AddInSession(40, kJavawPath, 2);
                                         f.mark.elsewhere = {2};
                                       },
                                       EventId::OtherSessionAtStart,
                                       {"El Programa 'javaw.exe' Esta Rodando en la Sesion 2!!!", "javaw.exe", "2"}},
                      OtherSessionCase{"BridgeOfAnotherUser",
                                       [](auto& f) {
                                         f.processes.AddInSession(40, kBridge.installPath, 3,
                                                                  fakes::FakeProcessTable::Owner::OtherUser);
                                       },
                                       EventId::OtherSessionAtStart,
                                       {"El Programa 'Lintaro.exe' Esta Rodando en la Sesion 3!!!", "Lintaro.exe",
                                        "3"}},
                      OtherSessionCase{"AnotherSessionsMonitorIsLaunching",
                                       [](auto& f) {
                                         f.claim.free = false;
                                         f.processes.AddInSession(40, kController.installPath,
                                                                  2);  // not yet its javaw.exe
                                       },
                                       EventId::LaunchClaimed,
                                       {"Otra Sesion Esta Arrancando los Programas!!!"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The bridge's launch at start fails and its box gives the claim up while it
// waits: what another session's monitor did meanwhile is looked at before the
// controller is launched, and start-up waits as any second monitor does.
TEST_F(StartupTest, AfterABoxStartUpTakesTheClaimAgainAndLooksAgain) {
  const struct {
    const char* name;
    std::function<void(fakes::FakePlatform&)> meanwhile;
    EventId waits;  // Started: it waits for nothing and launches the controller
  } rows[] = {
      {"nothing", [](auto&) {}, EventId::Started},
      {"another session claims", [](auto& f) { f.claim.free = false; }, EventId::LaunchClaimed},
      {"another session's monitor launched",
       [](auto& f) {
         f.processes.AddInSession(40, kBridge.installPath, 2);
         f.processes.AddInSession(44, kJavawPath, 2);
         f.mark.elsewhere = {2};
       },
       EventId::OtherSessionAtStart},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fakes::FakePlatform f;
    f.files.AddFile(kController.installPath, "exe");
    f.files.AddFile(kBridge.installPath, "exe");
    f.launcher.results = {0, 812};
    f.dialogs.onBox = [&](const auto&) { row.meanwhile(f); };
    Monitor m(f.platform());
    m.Start();
    const bool waits = row.waits != EventId::Started;
    EXPECT_EQ(f.launcher.launches.size(), waits ? 1u : 2u);
    EXPECT_EQ(f.claim.held, !waits) << "taken again";
    EXPECT_EQ(f.events.Ids().back(), waits ? row.waits : EventId::Launched);
    if (waits) {
      EXPECT_EQ(f.controls.colours[ProgramButton::CBPellux], kAmber);
    }
  }
}

// A javaw.exe of another session whose monitor holds no mark is somebody's
// Java program: a service's in session 0, another user's, the same account's
// where no monitor supervises. Start-up launches both programs, nothing is
// amber and no event speaks of another session; the cycles supervise, and
// the monitor holds its own mark.
TEST_F(StartupTest, SomebodysJavaInAnotherSessionIsNotTheController) {
  using Owner = fakes::FakeProcessTable::Owner;
  const std::pair<SessionId, Owner> rows[] = {{0, Owner::OtherUser}, {3, Owner::OtherUser}, {2, Owner::Us}};
  for (const auto& [session, owner] : rows) {
    fakes::FakePlatform f;
    f.files.AddFile(kController.installPath, "exe");
    f.files.AddFile(kBridge.installPath, "exe");
    f.processes.AddInSession(40, kJavawPath, session, owner);
    f.mark.elsewhere = {1, 5};  // marks of sessions without that javaw.exe
    f.launcher.onLaunch = [&f](const std::string& path, std::uint32_t id) {
      f.processes.Add(static_cast<std::int32_t>(id), path);
    };
    Monitor m(f.platform());
    m.Start();
    for (int cycle = 0; cycle < 20; ++cycle) m.OnTimer(TimerId::Timer1);
    EXPECT_EQ(f.launcher.launches.size(), 2u) << session;
    EXPECT_EQ(f.controls.colours[ProgramButton::CBLINTARO], kGreen) << session;
    const std::vector<EventId> ids = f.events.Ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::OtherSessionAtStart), 0) << session;
    EXPECT_TRUE(f.mark.held) << session;
  }
}

// While the other sessions cannot be seen, another session's monitor or
// bridge may be there: start-up launches nothing and says so once; each tick
// looks again, and once they are seen start-up launches both, or waits as
// any second monitor does, or takes over the controller that the operator
// started meanwhile.
TEST_F(StartupTest, WhileTheOtherSessionsAreUnseenStartUpLaunchesNothingYet) {
  struct Meanwhile {
    bool otherMonitor, controllerHere;
  };
  for (const Meanwhile meanwhile : {Meanwhile{false, false}, {true, false}, {false, true}}) {
    const bool otherMonitor = meanwhile.otherMonitor;
    fakes::FakePlatform f;
    f.launcher.onLaunch = [&f](const std::string& path, std::uint32_t id) {
      if (path == kBridge.installPath) f.processes.Add(static_cast<std::int32_t>(id), path);
    };
    f.files.AddFile(kController.installPath, "exe");
    f.files.AddFile(kBridge.installPath, "exe");
    f.files.AddFile(kLog);
    f.processes.failFamilies = true;
    Monitor m(f.platform());
    m.Start();
    for (int cycle = 0; cycle < 3; ++cycle) m.OnTimer(TimerId::Timer1);
    EXPECT_TRUE(f.launcher.launches.empty()) << otherMonitor;
    EXPECT_FALSE(f.claim.held) << otherMonitor;
    EXPECT_EQ(f.controls.colours[ProgramButton::CBPellux], kAmber) << otherMonitor;
    EXPECT_EQ(f.controls.stripText, kOtherSessionsUnseenText) << otherMonitor;
    const auto lines = fakes::LogTextsAfterBanner(f.files.Contents(kLog));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kOtherSessionsUnseenText), 1) << otherMonitor;
    if (otherMonitor) {
      f.processes.AddInSession(40, kJavawPath, 2);
      f.mark.elsewhere = {2};
    }
    if (meanwhile.controllerHere) f.processes.Add(44, kJavawPath);
    f.processes.failFamilies = false;
    for (int cycle = 0; cycle < 2; ++cycle) m.OnTimer(TimerId::Timer1);
    EXPECT_EQ(f.launcher.launches.size(), otherMonitor ? 0u : meanwhile.controllerHere ? 1u : 2u) << otherMonitor;
    const std::vector<EventId> ids = f.events.Ids();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::SnapshotLost), 1) << otherMonitor;
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::SnapshotBack), 1) << otherMonitor;
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::OtherSessionAtStart), otherMonitor ? 1 : 0) << otherMonitor;
    f.clock.ms += kControllerStartGraceMs;
    m.OnTimer(TimerId::Timer1);
    EXPECT_FALSE(f.claim.held) << "given up once the launch has settled";
  }
}

// The claim is held while start-up's launch settles and given up once the
// controller's javaw.exe has been seen, so that a later logon can launch.
TEST_F(StartupTest, TheWorkstationsClaimIsGivenUpOnceTheLaunchHasSettled) {
  fake.launcher.onLaunch = [this](const std::string& path, std::uint32_t id) {
    fake.processes.Add(static_cast<std::int32_t>(id), path);
  };
  monitor.Start();
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_TRUE(fake.claim.held) << "the launcher has not started javaw.exe yet";
  fake.processes.Add(80, kJavawPath).parentId = 4004;
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_FALSE(fake.claim.held);
  EXPECT_EQ(fake.claim.releases, 1);
}

// END during the launch, before the claim was given up: the immediate end
// gives it and the mark up before anything that may wait (the events, a log
// on a share, the shell), so that another session's monitor may launch.
TEST_F(StartupTest, TheImmediateEndGivesTheClaimAndTheMarkUpFirst) {
  monitor.Start();
  monitor.OnTimer(TimerId::Timer1);  // the launcher still starting javaw.exe
  ASSERT_TRUE(fake.claim.held);
  ASSERT_TRUE(fake.mark.held);
  fake.files.AddFile("C:\\Monitor\\Pellux.stp", "x,END");
  bool heldAtLastEvent = true;
  fake.events.onWrite = [this, &heldAtLastEvent] { heldAtLastEvent = fake.claim.held || fake.mark.held; };
  monitor.OnTimer(TimerId::Timer1);
  ASSERT_EQ(fake.events.events.back().id, EventId::Ended);
  EXPECT_FALSE(heldAtLastEvent);
  EXPECT_EQ(fake.claim.releases, 1);
}

}  // namespace
}  // namespace pellux
