#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/missing_program.h"
#include "fakes/fakes.h"
#include "log/event_log.h"
#include "process/process_services.h"
#include "programs/programs.h"
#include "tray/tray_icon.h"
#include "ui/accessible_controls.h"
#include "ui/main_window.h"
#include "ui/program_buttons.h"

namespace pellux {
namespace {

constexpr char kLogPath[] = "C:\\Monitor\\PelluxMONITOR.anc";
constexpr char kJavawPath[] = "C:\\Program Files\\Java\\jre\\bin\\javaw.exe";
constexpr char kBridgePath[] = "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe";
constexpr std::int32_t kJavawId = 20;
constexpr std::int32_t kBridgeId = 24;
constexpr Colour kNearlyGreen = kGreen + 1;

const std::string kBothStopped = std::string(kController.stopped) + "\r" + kBridge.stopped;

class ProgramButtonsTest : public testing::Test {
 protected:
  void SetUp() override {
    fp.files.AddFile(kLogPath);
    log.InitLog(LogFileBeside("C:\\Monitor"));
    fp.files.AddFile(kController.installPath);
    fp.files.AddFile(kBridge.installPath);
    fp.processes.Add(8, "C:\\Windows\\explorer.exe");
    fp.processes.Add(kJavawId, kJavawPath);
    fp.processes.Add(kBridgeId, kBridgePath);
    fp.controls.portText = "7";
    fp.files.existsAsked.clear();
  }

  void SetColours(Colour controller, Colour bridge) {
    accessible.SetButtonColour(ProgramButton::CBPellux, controller);
    accessible.SetButtonColour(ProgramButton::CBLINTARO, bridge);
  }
  Colour ColourOf(ProgramButton b) { return fp.controls.colours[b]; }

  fakes::FakeProcessTable::Process& ProcessWithId(std::int32_t id) {
    for (auto& p : fp.processes.processes)
      if (p.id == id) return p;
    throw std::logic_error("no such process");
  }

  // The texts of the log after the banner, without the lines the process
  // walks write for every process they read.
  std::vector<std::string> Logged() const {
    std::vector<std::string> texts;
    for (const std::string& text : fakes::LogTextsAfterBanner(fp.files.Contents(kLogPath))) {
      const std::size_t dash = text.rfind(" - ");
      const bool processLine = dash != std::string::npos && dash + 3 < text.size() &&
                               std::all_of(text.cbegin() + static_cast<std::ptrdiff_t>(dash + 3), text.cend(),
                                           [](char c) { return c >= '0' && c <= '9'; });
      if (!processLine) texts.push_back(text);
    }
    return texts;
  }

  void ExpectStrip(const std::string& text, Colour back, Colour fore) {
    EXPECT_EQ(fp.controls.stripText, text);
    EXPECT_EQ(fp.controls.stripBack, back);
    EXPECT_EQ(fp.controls.stripFore, fore);
    EXPECT_TRUE(fp.controls.stripVisible);
    EXPECT_FALSE(fp.controls.pictureVisible);
    EXPECT_EQ(fp.timers.Interval(TimerId::Timer3), 5000u);
  }
  void ExpectNoStrip() {
    EXPECT_FALSE(fp.controls.stripVisible);
    EXPECT_TRUE(fp.controls.pictureVisible);
  }

  fakes::FakePlatform fp;
  EventLog log{fp.files, fp.clock};
  SystemEvents events{fp.events, fp.clock, BuiltInPrograms()};
  ProcessServices processes{fp.processes, log};
  TrayIcon tray{fp.tray};
  // The window as the real one is wired: the buttons' names follow their colours.
  AccessibleControls accessible{fp.controls, fp.accessibility};
  MainWindow window{accessible, fp.timers, tray};
  ProgramButtons buttons{{log,
                          events,
                          processes,
                          fp.files,
                          fp.dialogs,
                          window,
                          fp.serial,
                          BuiltInPrograms(),
                          [this](const SupervisedProgram& program) {
                            MissingExecutableExit(program, fp.dialogs, log, [this] { fp.lifetime.EndNow(0); });
                          },
                          {}}};
};

// The controller's stop, by which of the two stops takes effect.
struct StopCase {
  const char* name;
  bool controllerStops;
  bool bridgeStops;
  Colour controllerAfter;
  Colour bridgeAfter;
  std::string message;  // before the port line
  Colour back;
  Colour fore;
};

const std::vector<StopCase> kStopCases = {
    {"both stop", true, true, kRed, kRed, kBothStopped, kRed, kWhite},
    {"bridge stays", true, false, kRed, kGreen, std::string(kController.stopped) + "\r" + kBridge.stillRunning,
     kMagenta, kBlack},
    {"controller stays", false, true, kGreen, kRed, std::string(kController.stillRunning) + "\r" + kBridge.stopped,
     kMagenta, kBlack},
    {"both stay", false, false, kGreen, kGreen, std::string(kController.stillRunning) + "\r" + kBridge.stillRunning,
     kGreen, kBlack},
};

TEST_F(ProgramButtonsTest, ControllerStopReportsEachProgramAndClosesThePort) {
  for (const StopCase& c : kStopCases) {
    SCOPED_TRACE(c.name);
    fp.processes.processes.clear();
    fp.processes.terminated.clear();
    fp.serial.calls.clear();
    fp.accessibility.announced.clear();
    fp.processes.Add(kJavawId, kJavawPath).terminable = c.controllerStops;
    fp.processes.Add(kBridgeId, kBridgePath).terminable = c.bridgeStops;
    SetColours(kGreen, kGreen);

    buttons.CBPellux_Click();

    const std::string message = c.message + "\rCerrado el Puerto 7";
    EXPECT_EQ(ColourOf(ProgramButton::CBPellux), c.controllerAfter);
    EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), c.bridgeAfter);
    EXPECT_EQ(fp.processes.Running(kJavawId), !c.controllerStops);
    EXPECT_EQ(fp.processes.Running(kBridgeId), !c.bridgeStops);
    ExpectStrip(message, c.back, c.fore);
    // A screen reader hears each button's state by its name, and the message once.
    EXPECT_EQ(fp.accessibility.names[ProgramButton::CBPellux],
              c.controllerStops ? "Pellux - Detenido" : "Pellux - Rodando");
    EXPECT_EQ(fp.accessibility.names[ProgramButton::CBLINTARO],
              c.bridgeStops ? "Lintaro - Detenido" : "Lintaro - Rodando");
    EXPECT_EQ(fp.accessibility.announced, std::vector<std::string>{message});
    EXPECT_EQ(fp.serial.calls, (std::vector<std::string>{"port 7", "close"}));
    const std::vector<std::string> logged = Logged();
    ASSERT_GE(logged.size(), 2u);
    EXPECT_EQ(logged[logged.size() - 2], "CBPellux_Click");
    EXPECT_EQ(logged.back(), message);
  }
  EXPECT_TRUE(fp.dialogs.boxes.empty());
  EXPECT_TRUE(fp.launcher.launches.empty());
}

TEST_F(ProgramButtonsTest, ControllerStopThatHasNotYetTakenEffectLeavesBothGreen) {
  fp.processes.terminationTakesEffect = false;
  SetColours(kGreen, kGreen);
  buttons.CBPellux_Click();
  EXPECT_EQ(fp.processes.terminated.size(), 2u);  // both were asked to end
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kGreen);
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kGreen);
  ExpectStrip(std::string(kController.stillRunning) + "\r" + kBridge.stillRunning + "\rCerrado el Puerto 7", kGreen,
              kBlack);
}

// Another Java program beside the controller: without a text one click ends
// the first javaw.exe listed and reports the other still running; with a text
// that tells the controller apart, the stop ends the controller alone.
TEST_F(ProgramButtonsTest, ControllerStopEndsOnlyTheJavaProcessThatCountsAsTheController) {
  // An other whose command line cannot be read may be the controller: it is
  // left running, counts, and the strip says why.
  const struct {
    const char* text;
    bool otherFirst, otherEnded, controllerEnded;
    bool otherUnreadable = false;
  } rows[] = {{"", false, false, true},
              {"", true, true, false},
              {"\\Pellux\\", true, false, true},
              {"pellux.jar", true, false, true},
              {"pellux.jar", true, false, true, true},
              {"pellux.jar", false, false, true, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text) + (row.otherFirst ? ", other first" : "") +
                 (row.otherUnreadable ? ", unreadable" : ""));
    fp.processes.processes.clear();
    if (row.otherFirst) fp.processes.Add(40, "C:\\Tools\\jdk\\bin\\javaw.exe");
    fp.processes.Add(kJavawId, kJavawPath).commandLine = "javaw -jar \"C:\\Program Files\\Pellux\\Pellux.jar\"";
    if (!row.otherFirst) fp.processes.Add(40, "C:\\Tools\\jdk\\bin\\javaw.exe");
    for (auto& p : fp.processes.processes)
      if (p.id == 40) p.commandLineReadable = !row.otherUnreadable;
    fp.processes.Add(kBridgeId, kBridgePath);
    processes.Controller().Set("javaw.exe", "javaw", row.text);
    SetColours(kGreen, kGreen);
    buttons.CBPellux_Click();
    EXPECT_EQ(fp.processes.Running(40), !row.otherEnded);
    EXPECT_EQ(fp.processes.Running(kJavawId), !row.controllerEnded);
    const bool stopped = row.text[0] != '\0' && !row.otherUnreadable;  // else the other javaw.exe still counts
    EXPECT_EQ(ColourOf(ProgramButton::CBPellux), stopped ? kRed : kGreen);
    EXPECT_EQ(fp.controls.stripText.substr(0, fp.controls.stripText.find('\r')), stopped ? kController.stopped
                                                                                 : row.otherUnreadable
                                                                                     ? UndecidedText(kController)
                                                                                     : kController.stillRunning);
  }
}

TEST_F(ProgramButtonsTest, StopsNeverLookAtTheInstallPaths) {
  fp.files.Remove(kController.installPath);
  fp.files.Remove(kBridge.installPath);
  fp.processes.Add(40, "C:\\Other\\Lintaro.exe");
  SetColours(kGreen, kGreen);
  buttons.CBPellux_Click();
  EXPECT_EQ(fp.controls.stripText,
            std::string(kController.stopped) + "\r" + kBridge.stillRunning + "\rCerrado el Puerto 7");
  buttons.CBLINTARO_Click();
  EXPECT_EQ(fp.controls.stripText, kBridge.stopped);
  EXPECT_TRUE(fp.files.existsAsked.empty());
  EXPECT_EQ(fp.lifetime.ends, 0);
}

TEST_F(ProgramButtonsTest, SerialPortIsGivenTheNumberThenClosedAndTheTextShownAsTyped) {
  struct Case {
    std::string text;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"3", {"port 3", "close"}},   {"007", {"port 7", "close"}},       {"0", {"port 0", "close"}},
      {"-5", {"port -5", "close"}}, {"32767", {"port 32767", "close"}}, {"-32768", {"port -32768", "close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fp.serial.calls.clear();
    fp.controls.portText = c.text;
    SetColours(kGreen, kGreen);
    buttons.CBPellux_Click();
    EXPECT_EQ(fp.serial.calls, c.calls);
    EXPECT_EQ(fp.controls.stripText, kBothStopped + "\rCerrado el Puerto " + c.text);
    EXPECT_EQ(fp.controls.portText, c.text);
  }
}

TEST_F(ProgramButtonsTest, PortThatNamesNoPortLeavesTheSerialPortAloneAndTheStopComplete) {
  for (const std::string text : {"", "32768", "-32769", "99999999999", "7.6", " 7", "COM1"}) {
    SCOPED_TRACE("port \"" + text + "\"");
    fp.processes.processes.clear();
    fp.processes.Add(kJavawId, kJavawPath);
    fp.processes.Add(kBridgeId, kBridgePath);
    fp.serial.calls.clear();
    fp.controls.portText = text;
    SetColours(kGreen, kGreen);

    buttons.CBPellux_Click();

    EXPECT_TRUE(fp.serial.calls.empty());
    EXPECT_FALSE(fp.processes.Running(kJavawId));
    EXPECT_FALSE(fp.processes.Running(kBridgeId));
    EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kRed);
    EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kRed);
    ExpectStrip(kBothStopped, kRed, kWhite);
    EXPECT_EQ(Logged().back(), kBothStopped);
  }
  EXPECT_EQ(fp.lifetime.ends, 0);
}

// A re-check, or a stop, of one program from its own button.
struct ClickCase {
  const char* name;
  Colour before;
  bool running;     // the program's process is listed
  bool terminable;  // a stop of it takes effect
  Colour after;
  bool stopAsked;  // the stop branch ran
  std::string message;
  Colour back;
  Colour fore;
  SessionId elsewhere;     // another user's session that runs it too; 0: none
  const char* match = "";  // the controller's ControllerMatch
};

std::vector<ClickCase> ClickCases(const SupervisedProgram& p) {
  const std::string other = OtherSessionText(p.runningCheckName, 2);
  return {
      {"green, stops", kGreen, true, true, kRed, true, p.stopped, kRed, kWhite, 0},
      {"green, stays", kGreen, true, false, kGreen, true, p.stillRunning, kGreen, kBlack, 0},
      {"green, gone already", kGreen, false, true, kRed, true, p.stopped, kRed, kWhite, 0},
      {"red, found", kRed, true, true, kGreen, false, p.started, kGreen, kBlack, 0},
      {"red, not found", kRed, false, true, kRed, false, p.notStarted, kRed, kWhite, 0},
      {"grey, found", kLightGrey, true, true, kGreen, false, p.started, kGreen, kBlack, 0},
      {"nearly green, found", kNearlyGreen, true, true, kGreen, false, p.started, kGreen, kBlack, 0},
      {"nearly green, not found", kNearlyGreen, false, true, kRed, false, p.notStarted, kRed, kWhite, 0},
      // Another session's program is only looked at: never ended, its
      // button amber while nothing of this session runs it.
      {"amber, runs in another session", kAmber, false, true, kAmber, false, other, kAmber, kBlack, 2},
      {"amber, found here too", kAmber, true, true, kGreen, false, p.started, kGreen, kBlack, 2},
      {"amber, gone everywhere", kAmber, false, true, kRed, false, p.notStarted, kRed, kWhite, 0},
      // Another user's Java grants nothing to read: with the text set its name still decides.
      {"amber, another user's unreadable Java", kAmber, false, true, kAmber, false, other, kAmber, kBlack, 2,
       "Pellux.jar"},
      {"green, stopped here, runs elsewhere", kGreen, false, true, kRed, true, p.stopped, kRed, kWhite, 2},
  };
}

TEST_F(ProgramButtonsTest, ControllerButtonActsOnItsColour) {
  for (const ClickCase& c : ClickCases(kController)) {
    if (c.stopAsked) continue;  // the controller's stop has its own table above
    SCOPED_TRACE(c.name);
    fp.processes.processes.clear();
    fp.processes.Add(kBridgeId, kBridgePath);
    if (c.running) fp.processes.Add(kJavawId, kJavawPath);
    if (c.elsewhere != 0)
      fp.processes.AddInSession(40, kJavawPath, c.elsewhere, fakes::FakeProcessTable::Owner::OtherUser);
    processes.Controller().Set("javaw.exe", "javaw", c.match);
    SetColours(c.before, kNearlyGreen);

    buttons.CBPellux_Click();

    EXPECT_EQ(ColourOf(ProgramButton::CBPellux), c.after);
    ExpectStrip(c.message, c.back, c.fore);
    EXPECT_EQ(Logged().back(), c.message);
    // The re-check touches neither the bridge, nor its button, nor the port.
    EXPECT_TRUE(fp.processes.terminated.empty());
    EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kNearlyGreen);
    EXPECT_TRUE(fp.serial.calls.empty());
  }
  EXPECT_TRUE(fp.launcher.launches.empty());
}

TEST_F(ProgramButtonsTest, BridgeButtonActsOnItsColour) {
  for (const ClickCase& c : ClickCases(kBridge)) {
    SCOPED_TRACE(c.name);
    fp.processes.processes.clear();
    fp.processes.openAccess.clear();
    fp.processes.Add(kJavawId, kJavawPath);
    if (c.running) fp.processes.Add(kBridgeId, kBridgePath).terminable = c.terminable;
    if (c.elsewhere != 0) fp.processes.AddInSession(40, kBridgePath, c.elsewhere, fakes::FakeProcessTable::Owner::Us);
    SetColours(kNearlyGreen, c.before);

    buttons.CBLINTARO_Click();

    EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), c.after);
    ExpectStrip(c.message, c.back, c.fore);
    const std::vector<std::string> logged = Logged();
    EXPECT_EQ(logged[logged.size() - 2], "CBLINTARO_Click");
    EXPECT_EQ(logged.back(), c.message);
    EXPECT_EQ(std::count(fp.processes.openAccess.begin(), fp.processes.openAccess.end(), kAccessTerminate),
              c.stopAsked && c.running ? 1 : 0);
    // The bridge's button touches neither the controller, nor its button, nor the port.
    EXPECT_TRUE(fp.processes.Running(kJavawId));
    EXPECT_TRUE(c.elsewhere == 0 || fp.processes.Running(40)) << "another session's is never ended";
    EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kNearlyGreen);
    EXPECT_TRUE(fp.serial.calls.empty());
  }
  EXPECT_TRUE(fp.launcher.launches.empty());
  EXPECT_EQ(fp.controls.portText, "7");
}

TEST_F(ProgramButtonsTest, MissingInstallationOnTheCheckEndsThroughTheTwoBoxes) {
  for (const SupervisedProgram* p : {&kController, &kBridge}) {
    SCOPED_TRACE(p->exeName);
    fp.journal.clear();
    fp.dialogs.boxes.clear();
    fp.lifetime.ends = 0;
    fp.files.Remove(p->installPath);
    SetColours(kRed, kRed);

    if (p == &kController) {
      buttons.CBPellux_Click();
    } else {
      buttons.CBLINTARO_Click();
    }

    EXPECT_EQ(fp.journal,
              (fakes::Journal{"box " + MissingFileBoxText(*p), "box " + std::string(kFarewellText), "end"}));
    for (const auto& box : fp.dialogs.boxes) {
      EXPECT_EQ(box.caption, "PelluxMONITOR");
      EXPECT_EQ(box.style, kBoxPlain);
    }
    EXPECT_EQ(Logged(), (std::vector<std::string>{p->clickLogText, p->missingLog}));
    EXPECT_EQ(fp.processes.snapshots, 0);  // nothing scanned after the end
    ExpectNoStrip();
    EXPECT_EQ(ColourOf(p->button), kRed);
    fp.files.AddFile(p->installPath);
    fp.files.Remove(kLogPath);
    fp.files.AddFile(kLogPath);
  }
}

TEST_F(ProgramButtonsTest, BridgeButtonRefusesAnEmptyPortField) {
  fp.controls.portText = "";
  SetColours(kGreen, kGreen);
  buttons.CBLINTARO_Click();
  ASSERT_EQ(fp.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fp.dialogs.boxes[0].text, "Falta Colocar el Numero de Puerto!!!");
  EXPECT_EQ(fp.dialogs.boxes[0].caption, "PelluxMONITOR");
  EXPECT_EQ(fp.dialogs.boxes[0].style, kBoxPlain);
  EXPECT_EQ(fp.journal.back(), "focus port");
  EXPECT_TRUE(Logged().empty());
  EXPECT_EQ(fp.processes.snapshots, 0);
  EXPECT_TRUE(fp.processes.Running(kBridgeId));
  EXPECT_EQ(ColourOf(ProgramButton::CBLINTARO), kGreen);
  ExpectNoStrip();

  fp.controls.portVisible = false;
  buttons.CBLINTARO_Click();
  EXPECT_EQ(fp.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fp.controls.portFocus, 1);
}

TEST_F(ProgramButtonsTest, ControllerButtonDoesNotNeedThePortField) {
  fp.controls.portText = "";
  SetColours(kRed, kRed);
  buttons.CBPellux_Click();
  EXPECT_TRUE(fp.dialogs.boxes.empty());
  EXPECT_EQ(ColourOf(ProgramButton::CBPellux), kGreen);
  EXPECT_EQ(Logged(), (std::vector<std::string>{"CBPellux_Click", kController.started}));
}

TEST(PortNumberTest, OnlyWholeNumbersWithinSixteenBitsNameAPort) {
  EXPECT_EQ(PortNumber("7"), std::optional<std::int16_t>(7));
  EXPECT_EQ(PortNumber("+7"), std::optional<std::int16_t>(7));
  EXPECT_EQ(PortNumber("-32768"), std::optional<std::int16_t>(-32768));
  EXPECT_EQ(PortNumber("000000000000032767"), std::optional<std::int16_t>(32767));
  for (const char* text : {"", "-", "+", "32768", "-32769", "4294967303", "7.0", "7 ", "1e3"})
    EXPECT_EQ(PortNumber(text), std::nullopt) << text;
}

}  // namespace
}  // namespace pellux
