#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "app/monitor.h"
#include "fakes/fakes.h"
#include "programs/settings.h"
#include "win32/settings_places.h"

namespace pellux {
namespace {

using Key = SettingsKey;
using Kind = StoredKind;

constexpr const char* kLog = "C:\\Monitor\\PelluxMONITOR.anc";
constexpr const char* kHklm = "HKLM\\SOFTWARE\\Policies\\PelluxMONITOR";
constexpr const char* kHkcuPolicy = "HKCU\\SOFTWARE\\Policies\\PelluxMONITOR";
constexpr const char* kHkcu = "HKCU\\SOFTWARE\\PelluxMONITOR";
constexpr const char* kWorkstation = "HKLM\\SOFTWARE\\PelluxMONITOR";
constexpr const char* kWorkstation32 = "HKLM\\SOFTWARE\\WOW6432Node\\PelluxMONITOR";

struct Stored {
  Key key;
  const char* name;
  std::string text;
  Kind kind = Kind::Text;
};

void Put(fakes::FakeSettingsStore& store, const Stored& s) {
  if (s.kind == Kind::Number) {
    store.SetNumber(s.key, s.name, static_cast<std::uint32_t>(std::stoul(s.text)));
  } else {
    store.Set(s.key, s.name, s.text, s.kind);
  }
}

struct SourceCase {
  std::vector<Stored> stored;
  // controller path, its folder, its stop name; bridge path, its running name, its stop name;
  // control file; log file; the log's limit in KB; the bridge's seconds without an answer
  std::vector<std::string> used;
  std::string sources;
};

TEST(SettingsTest, EachValueComesFromTheFirstKeyThatHoldsIt) {
  const SourceCase cases[] = {
      {{},
       {"C:\\Program Files\\Pellux\\Pellux.exe", "C:\\Program Files\\Pellux", "javaw",
        "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro.exe", "Lintaro", "D:\\Pellux.stp", "", "65536",
        "0"},
       "built-in"},
      {{{Key::User, "ControllerPath", "C:\\User\\Ctl.exe"},
        {Key::UserPolicy, "ControllerPath", "C:\\UserPolicy\\Ctl.exe"},
        {Key::MachinePolicy, "ControllerPath", "C:\\Planta\\Control\\Ctl.exe"},
        {Key::User, "BridgePath", "E:\\User\\Puente.exe"},
        {Key::UserPolicy, "BridgePath", "E:\\Puente.exe"},  // at the root: starts in "E:\"
        {Key::User, "BridgeProcess", "PUENTE.EXE"}},
       {"C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control", "javaw", "E:\\Puente.exe", "PUENTE.EXE", "PUENTE",
        "D:\\Pellux.stp", "", "65536", "0"},
       std::string("ControllerPath: ") + kHklm + "; BridgePath: " + kHkcuPolicy + "; BridgeProcess: " + kHkcu},
      // REG_EXPAND_SZ is expanded, REG_SZ taken as it is; the stop name is the name less its .exe.
      {{{Key::User, "ControllerPath", "%ProgramFiles(x86)%\\Pellux\\Pellux.exe", Kind::ExpandText},
        {Key::User, "ControllerProcess", "java.EXE"},
        {Key::UserPolicy, "ControlFile", "\\\\srv\\plant\\%Pellux%.stp"},
        // The least limit is accepted; a later key's is not read.
        {Key::Machine, "LogLimitKB", "64", Kind::Number},
        {Key::Machine32, "LogLimitKB", "1", Kind::Number},
        // The hung-bridge check at its least; 0, in a later key, is not read.
        {Key::User, "BridgeHungSeconds", "10", Kind::Number},
        {Key::Machine, "BridgeHungSeconds", "0", Kind::Number}},
       {"C:\\Program Files (x86)\\Pellux\\Pellux.exe", "C:\\Program Files (x86)\\Pellux", "java",
        "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro.exe", "Lintaro", "\\\\srv\\plant\\%Pellux%.stp",
        "", "64", "10"},
       std::string("ControllerPath: ") + kHkcu + "; ControllerProcess: " + kHkcu + "; ControlFile: " + kHkcuPolicy +
           "; LogLimitKB: " + kWorkstation + "; BridgeHungSeconds: " + kHkcu},
      // The workstation's key comes after the user's, its 64-bit view before its 32-bit one.
      // A bridge path set alone gives the bridge's running name (the controller's path is its
      // launcher's, so its name stays); ".EXE" in capitals ends a path as well.
      {{{Key::Machine, "ControllerPath", "C:\\Planta\\CTL.EXE"},
        {Key::User, "ControllerPath", "C:\\Usuario\\Ctl.exe"},
        {Key::Machine32, "BridgePath", "E:\\Puente32\\Puente.exe"},
        {Key::Machine, "BridgePath", "E:\\Puente\\Senal.exe"},
        {Key::Machine32, "ControlFile", "C:\\Planta\\Pellux.stp"},
        {Key::UserPolicy, "LogFile", "%LOCALAPPDATA%\\PelluxMONITOR\\PelluxMONITOR.anc", Kind::ExpandText},
        {Key::Machine, "LogFile", "C:\\ProgramData\\PelluxMONITOR.anc"}},
       {"C:\\Usuario\\Ctl.exe", "C:\\Usuario", "javaw", "E:\\Puente\\Senal.exe", "Senal.exe", "Senal",
        "C:\\Planta\\Pellux.stp", "C:\\Users\\op\\AppData\\Local\\PelluxMONITOR\\PelluxMONITOR.anc", "65536", "0"},
       std::string("ControllerPath: ") + kHkcu + "; BridgePath: " + kWorkstation + "; ControlFile: " + kWorkstation32 +
           "; LogFile: " + kHkcuPolicy},
      // A process name set in any key wins over the bridge path's file name; an empty log
      // file is the one beside the monitor, and a later key's is not read.
      {{{Key::Machine32, "BridgePath", "C:\\Puente\\Puente.exe"},
        {Key::Machine32, "BridgeProcess", "Lintaro.exe"},
        {Key::MachinePolicy, "LogFile", ""},
        {Key::User, "LogFile", "C:\\Usuario\\PelluxMONITOR.anc"},
        {Key::UserPolicy, "LogLimitKB", "4294967295", Kind::Number},
        // 0 set by policy keeps the check off over the workstation's value.
        {Key::MachinePolicy, "BridgeHungSeconds", "0", Kind::Number},
        {Key::Machine, "BridgeHungSeconds", "3600", Kind::Number}},
       {"C:\\Program Files\\Pellux\\Pellux.exe", "C:\\Program Files\\Pellux", "javaw", "C:\\Puente\\Puente.exe",
        "Lintaro.exe", "Lintaro", "D:\\Pellux.stp", "", "4294967295", "0"},
       std::string("BridgePath: ") + kWorkstation32 + "; BridgeProcess: " + kWorkstation32 + "; LogFile: " + kHklm +
           "; LogLimitKB: " + kHkcuPolicy + "; BridgeHungSeconds: " + kHklm},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.sources);
    fakes::FakeSettingsStore store;
    store.environment["LOCALAPPDATA"] = "C:\\Users\\op\\AppData\\Local";
    for (const Stored& s : c.stored) Put(store, s);
    const Settings settings = ReadSettings(store);
    ASSERT_FALSE(settings.bad) << settings.bad->reason;
    EXPECT_TRUE(settings.turnedOff.empty());
    const SupervisedProgram& controller = settings.programs.controller;
    const SupervisedProgram& bridge = settings.programs.bridge;
    EXPECT_EQ((std::vector<std::string>{controller.installPath, controller.installFolder, controller.stopName,
                                        bridge.installPath, bridge.runningCheckName, bridge.stopName,
                                        settings.controlFile, settings.logFile, std::to_string(settings.logLimitKB),
                                        std::to_string(settings.bridgeHungSeconds)}),
              c.used);
    EXPECT_EQ(SourcesText(settings), c.sources);
  }
}

class SettingsStartTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.files.AddFile(kLog); }
  fakes::FakePlatform fake;
  Monitor monitor{fake.platform()};
};

TEST_F(SettingsStartTest, ConfiguredProgramsAreTestedLaunchedAndNamedFromTheirOwnPaths) {
  fake.settings.Set(Key::User, "ControllerPath", "C:\\Planta\\Control\\Ctl.exe");
  fake.settings.Set(Key::MachinePolicy, "BridgePath", "E:\\Puente\\Puente.exe");
  fake.settings.Set(Key::User, "BridgeProcess", "Puente.exe");
  fake.files.AddFile("C:\\Planta\\Control\\Ctl.exe");
  fake.files.AddFile("E:\\Puente\\Puente.exe");
  fake.launcher.results = {0, 0};
  monitor.Start();

  EXPECT_EQ(fake.launcher.launches,
            (std::vector<std::pair<std::string, std::string>>{
                {"E:\\Puente\\Puente.exe", "E:\\Puente"}, {"C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control"}}));
  EXPECT_EQ(fake.dialogs.boxes.at(1).text, "El Programa 'Ctl.exe' NO Arranco!!!");
  EXPECT_EQ(fakes::LogTextsAfterBanner(fake.files.Contents(kLog)),
            (std::vector<std::string>{"PelluxMONITOR - STARTED!!!",
                                      "ControllerPath = 'C:\\Planta\\Control\\Ctl.exe' (" + std::string(kHkcu) + ")",
                                      "BridgePath = 'E:\\Puente\\Puente.exe' (" + std::string(kHklm) + ")",
                                      "BridgeProcess = 'Puente.exe' (" + std::string(kHkcu) + ")",
                                      "Puente.exe NO ARRANCO - RetVal: 0", "Ctl.exe NO ARRANCO - RetVal: 0"}));

  // The cycle relaunches the bridge at its path, knows it by its name and,
  // with the controller gone, stops it by that name.
  fake.processes.Add(8, "C:\\Planta\\Java\\bin\\javaw.exe");
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.launcher.launches.at(2).first, "E:\\Puente\\Puente.exe");
  fake.processes.Add(12, "E:\\Puente\\Puente.exe");
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.launcher.launches.size(), 3u);
  fake.processes.processes.erase(fake.processes.processes.begin());
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.processes.terminated.size(), 1u);
  EXPECT_EQ(fake.events.events.back().strings.front(),
            "Puente.exe ended by the monitor: the controller (javaw.exe) is not running");
}

// Each program starts in its own folder, which is the root itself for a
// program at a drive's or a share's root ("E:" alone is E:'s current folder).
TEST(SettingsTest, EachProgramStartsInItsFolderAtADriveRootAndOnAShare) {
  const std::pair<const char*, const char*> rows[] = {
      {"E:\\Ctl.exe", "E:\\"},
      {"\\\\srv\\planta\\Ctl.exe", "\\\\srv\\planta\\"},
      {"\\\\srv\\planta\\Control\\Ctl.exe", "\\\\srv\\planta\\Control"},
      {"\\\\srv\\planta\\Control\\bin\\Ctl.exe", "\\\\srv\\planta\\Control\\bin"},
      {"C:\\Planta/Control/Ctl.exe", "C:\\Planta/Control"},  // Windows takes '/' as well
  };
  for (const auto& [path, folder] : rows) {
    SCOPED_TRACE(path);
    fakes::FakePlatform p;
    p.settings.Set(Key::User, "ControllerPath", path);
    p.settings.Set(Key::MachinePolicy, "BridgePath", path);
    p.files.AddFile(path);
    p.files.AddFile(kLog);
    Monitor m(p.platform());
    m.Start();
    EXPECT_EQ(p.launcher.launches, (std::vector<std::pair<std::string, std::string>>{{path, folder}, {path, folder}}));
    const std::vector<std::string> logged = fakes::LogTextsAfterBanner(p.files.Contents(kLog));
    EXPECT_EQ(std::vector<std::string>(logged.end() - 2, logged.end()),
              (std::vector<std::string>{"ARRANCA Ctl.exe - RetVal: 4000", "ARRANCA Ctl.exe - RetVal: 4004"}));
  }
}

// A log file named by the settings takes every line, and logging is on only
// when that file is there at start; the one beside the monitor is left alone.
TEST(SettingsTest, ANamedLogFileTakesTheLogInsteadOfTheOneBesideTheMonitor) {
  constexpr char kNamed[] = "C:\\ProgramData\\PelluxMONITOR\\PelluxMONITOR.anc";
  for (const bool there : {true, false}) {
    SCOPED_TRACE(there ? "named file there" : "named file absent");
    fakes::FakePlatform p;
    p.files.AddFile(kController.installPath);
    p.files.AddFile(kBridge.installPath);
    p.files.AddFile(kLog);
    if (there) p.files.AddFile(kNamed);
    p.settings.Set(Key::Machine, "LogFile", kNamed);
    Monitor m(p.platform());
    m.Start();
    m.OnTimer(TimerId::Timer1);
    EXPECT_EQ(p.files.Contents(kLog), "");
    EXPECT_EQ(p.events.events.at(0).strings.at(3), there ? "on" : "off");
    if (!there) {
      EXPECT_FALSE(p.files.Has(kNamed));
      continue;
    }
    const std::vector<fakes::LoggedLine> lines = fakes::ParseLog(p.files.Contents(kNamed));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].text, kLogBanner);
    EXPECT_EQ(lines[1].text, "PelluxMONITOR - STARTED!!!");
    EXPECT_EQ(lines[2].text, std::string("LogFile = '") + kNamed + "' (" + kWorkstation + ")");
    EXPECT_EQ(lines.back().text, "Timer1 - AFTER 'CALL Pellux_MONITOR'");
  }
}

TEST_F(SettingsStartTest, AnEmptyControlFileLeavesOnlyTheMonitorsOwn) {
  fake.files.AddFile(kController.installPath);
  fake.files.AddFile(kBridge.installPath);
  fake.files.AddFile("D:\\Pellux.stp", "#x#,END");
  fake.files.AddFile("C:\\Monitor\\Pellux.stp", "#x#,HOLD");
  fake.settings.Set(Key::User, "ControlFile", "");
  monitor.Start();
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_FALSE(monitor.Ended());
  EXPECT_EQ(fake.files.readsAsked, (std::vector<std::string>{"C:\\Monitor\\Pellux.stp"}));
}

constexpr char kNotAbsolute[] = "La Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')";
constexpr char kBadCharacter[] = "La Ruta Contiene un Caracter NO Valido";
constexpr char kBadName[] = "El Nombre Contiene '\\', '/' o ':'";
constexpr char kTooLong[] = "Tiene Mas de 259 Caracteres";
constexpr char kNameNotExe[] = "El Nombre NO Termina en '.exe'";

// A value that is good wherever a value of that name may be.
std::string GoodValue(const std::string& name) {
  if (name.size() > 7 && name.compare(name.size() - 7, 7, "Process") == 0) return "Good.exe";
  if (name.size() > 4 && name.compare(name.size() - 4, 4, "File") == 0) return "C:\\Good\\Good.txt";
  return "C:\\Good\\Good.exe";
}

// The keys after key, in the order they are read.
std::vector<Key> KeysAfter(Key key) {
  const Key order[] = {Key::MachinePolicy, Key::UserPolicy, Key::User, Key::Machine, Key::Machine32};
  std::vector<Key> after;
  bool seen = false;
  for (const Key k : order) {
    if (seen) after.push_back(k);
    seen = seen || k == key;
  }
  return after;
}

TEST(SettingsTest, ABadValueIsRefusedWithItsBoxAndNothingStarts) {
  const std::string tooLong = "C:\\" + std::string(kLongestSettingChars - 6, 'a') + ".exe";
  // A character beyond the basic plane is two units to the system: 260 with one of them.
  const std::string tooLongByAPair = "C:\\" + std::string(kLongestSettingChars - 8, 'a') + "\xF0\x9F\x98\x80.exe";
  const std::pair<Stored, const char*> cases[] = {
      {{Key::MachinePolicy, "ControllerPath", "", Kind::OtherType}, "El Tipo NO es REG_SZ ni REG_EXPAND_SZ"},
      {{Key::User, "ControllerPath", "", Kind::Unreadable}, "NO se Pudo Leer"},
      {{Key::User, "BridgePath", "Puente\\Puente.exe"}, kNotAbsolute},
      {{Key::User, "ControllerPath", "C:Ctl.exe"}, kNotAbsolute},
      {{Key::User, "ControllerPath", "\\\\srv\\\\Ctl.exe"}, kNotAbsolute},  // an empty share name
      {{Key::UserPolicy, "BridgePath", "%NOPE%\\Puente.exe", Kind::ExpandText}, kNotAbsolute},
      {{Key::User, "ControllerPath", "C:\\Planta\\Ctl.bat"}, "La Ruta NO Termina en '.exe'"},
      // A quote would break the quoted command line; a ':' past the drive names a stream.
      {{Key::User, "BridgePath", "C:\\a.exe\" -x \"C:\\b.exe"}, kBadCharacter},
      {{Key::User, "ControllerPath", "C:\\Planta\\Ctl.exe:x.exe"}, kBadCharacter},
      {{Key::User, "ControllerProcess", "bin\\javaw.exe"}, kBadName},
      {{Key::User, "BridgeProcess", "C:Puente.exe"}, kBadName},
      // An empty name matches every process: the first in the list would be stopped.
      {{Key::User, "BridgeProcess", ""}, "El Nombre Esta Vacio"},
      {{Key::User, "BridgeProcess", ".exe"}, "El Nombre Esta Vacio"},
      // Matched at the end of an executable's path, a name without .exe never matches.
      {{Key::UserPolicy, "BridgeProcess", "Lintaro"}, kNameNotExe},
      {{Key::MachinePolicy, "ControllerProcess", "javaw"}, kNameNotExe},
      {{Key::Machine, "ControllerProcess", "javaw.ex"}, kNameNotExe},
      // The workstation's key is checked as any other.
      {{Key::Machine32, "BridgePath", "C:\\Puente\\Puente.com"}, "La Ruta NO Termina en '.exe'"},
      {{Key::MachinePolicy, "BridgePath", tooLongByAPair}, kTooLong},
      {{Key::User, "ControllerPath", tooLong}, kTooLong},
      {{Key::User, "BridgeProcess", std::string(kLongestSettingChars + 1, 'p')}, kTooLong},
  };
  for (const auto& [stored, reason] : cases) {
    SCOPED_TRACE(reason);
    fakes::FakePlatform p;
    p.files.AddFile(kController.installPath);
    p.files.AddFile(kBridge.installPath);
    p.files.AddFile(kLog);
    // A good value in a later key never stands in for the bad one.
    for (const Key later : KeysAfter(stored.key)) p.settings.Set(later, stored.name, GoodValue(stored.name));
    p.settings.Set(stored.key, stored.name, stored.text, stored.kind);
    Monitor m(p.platform());
    m.Start();

    const std::string what = std::string("El Valor '") + stored.name + "' NO es Valido!!!";
    const std::string where = std::string("En la Clave '") + KeyText(stored.key) + "'";
    EXPECT_EQ(p.journal, (fakes::Journal{"box " + what + "\r" + where + "\r" + reason, "box Chauuu...\r:(", "end"}));
    EXPECT_EQ(p.dialogs.boxes[0].caption, "PelluxMONITOR");
    EXPECT_EQ(p.dialogs.boxes[0].style & 0xFFFF, 0u);  // OK only, no icon
    const std::string line = what + " " + where + ": " + reason;
    const std::vector<std::string> logged = fakes::LogTextsAfterBanner(p.files.Contents(kLog));
    EXPECT_EQ(logged, (std::vector<std::string>{"PelluxMONITOR - STARTED!!!", line}));
    ASSERT_EQ(p.events.Ids(), (std::vector<EventId>{EventId::Started, EventId::SettingRefused, EventId::Ended}));
    EXPECT_EQ(p.events.events[0].strings.back(), "built-in");  // nothing reported as set
    EXPECT_EQ(p.events.events[1].strings, (std::vector<std::string>{line, stored.name, KeyText(stored.key), reason}));
    EXPECT_EQ(p.events.events[2].strings[1], "bad setting");
    EXPECT_TRUE(p.launcher.launches.empty());
    EXPECT_EQ(p.controls.creates, 0);
  }
  // The system counts characters, not UTF-8 bytes: 259 of them pass, "ñ" or not, and one
  // beyond the basic plane with 257 units around it.
  std::string wide = "C:\\";
  for (std::size_t i = 0; i < kLongestSettingChars - 7; ++i) wide += "\xC3\xB1";
  for (const std::string& longest : {tooLong.substr(0, 3) + tooLong.substr(4), wide + ".exe",
                                     tooLongByAPair.substr(0, 3) + tooLongByAPair.substr(4)}) {
    fakes::FakeSettingsStore store;
    store.Set(Key::User, "ControllerPath", longest);
    EXPECT_FALSE(ReadSettings(store).bad);
  }
}

// A bad value of a diagnosis feature turns that feature alone off, with an
// event and (where a log is on) a line, never a box: both programs are
// launched. A good value in a later key never stands in for the bad one.
TEST(SettingsTest, ABadDiagnosisValueTurnsOnlyItsFeatureOff) {
  const struct {
    Stored stored;
    const char* reason;
    bool logOn;
    const char* controlFileFirst;
  } rows[] = {
      {{Key::MachinePolicy, "LogFile", "Logs\\PelluxMONITOR.anc"}, kNotAbsolute, false, "C:\\Good\\Good.txt"},
      {{Key::Machine32, "LogFile", "C:\\Logs\\<PelluxMONITOR>.anc"}, kBadCharacter, false, "C:\\Good\\Good.txt"},
      {{Key::UserPolicy, "LogFile", "1", Kind::Number},
       "El Tipo NO es REG_SZ ni REG_EXPAND_SZ",
       false,
       "C:\\Good\\Good.txt"},
      {{Key::User, "ControlFile", "\\\\srv\\Pellux.stp"}, kNotAbsolute, true, "D:\\Pellux.stp"},  // no share
      {{Key::Machine, "ControlFile", "", Kind::OtherType},
       "El Tipo NO es REG_SZ ni REG_EXPAND_SZ",
       true,
       "D:\\Pellux.stp"},
      {{Key::MachinePolicy, "LogLimitKB", "63", Kind::Number}, "Es Menor que 64", true, "C:\\Good\\Good.txt"},
      {{Key::User, "LogLimitKB", "65536"}, "El Tipo NO es REG_DWORD", true, "C:\\Good\\Good.txt"},
      {{Key::UserPolicy, "LogLimitKB", "", Kind::Unreadable}, "NO se Pudo Leer", true, "C:\\Good\\Good.txt"},
      {{Key::User, "BridgeHungSeconds", "9", Kind::Number},
       "El Numero 9 NO Esta Entre 10 y 3600",
       true,
       "C:\\Good\\Good.txt"},
      {{Key::MachinePolicy, "BridgeHungSeconds", "3601", Kind::Number},
       "El Numero 3601 NO Esta Entre 10 y 3600",
       true,
       "C:\\Good\\Good.txt"},
      {{Key::Machine, "BridgeHungSeconds", "30"}, "El Tipo NO es REG_DWORD", true, "C:\\Good\\Good.txt"},
      {{Key::User, "ControllerMatch", " \t "}, "Solo Tiene Espacios", true, "C:\\Good\\Good.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.stored.name) + ": " + row.reason);
    fakes::FakePlatform p;
    p.files.AddFile(kController.installPath);
    p.files.AddFile(kBridge.installPath);
    p.files.AddFile(kLog);
    p.files.AddFile("C:\\Good\\Good.txt");
    p.settings.Set(Key::Machine32, "ControlFile", "C:\\Good\\Good.txt");
    for (const Key later : KeysAfter(row.stored.key)) {
      if (std::string(row.stored.name) == "LogLimitKB" || std::string(row.stored.name) == "BridgeHungSeconds") {
        p.settings.SetNumber(later, row.stored.name, 1024);
      } else {
        p.settings.Set(later, row.stored.name, GoodValue(row.stored.name));
      }
    }
    Put(p.settings, row.stored);
    EXPECT_EQ(ReadSettings(p.settings).logLimitKB, kDefaultLogLimitKB);
    EXPECT_EQ(ReadSettings(p.settings).bridgeHungSeconds, 0u);
    EXPECT_EQ(ReadSettings(p.settings).controllerMatch, "");
    Monitor m(p.platform());
    m.Start();
    m.OnTimer(TimerId::Timer1);

    EXPECT_FALSE(m.Ended());
    EXPECT_TRUE(p.dialogs.boxes.empty());
    EXPECT_EQ(p.launcher.launches.size(), 2u);
    const std::string line = std::string("El Valor '") + row.stored.name + "' NO es Valido!!! En la Clave '" +
                             KeyText(row.stored.key) + "': " + row.reason;
    const std::vector<EventId> ids = p.events.Ids();
    ASSERT_GE(ids.size(), 2u);
    EXPECT_EQ(p.events.events[0].strings.at(3), row.logOn ? "on" : "off");
    EXPECT_EQ(ids[1], EventId::SettingTurnedOff);
    EXPECT_EQ(p.events.events[1].strings,
              (std::vector<std::string>{line, row.stored.name, KeyText(row.stored.key), row.reason}));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), EventId::SettingTurnedOff), 1);
    const std::vector<std::string> logged = fakes::LogTextsAfterBanner(p.files.Contents(kLog));
    EXPECT_EQ(std::count(logged.begin(), logged.end(), line), row.logOn ? 1 : 0);
    EXPECT_EQ(logged.empty(), !row.logOn);
    ASSERT_FALSE(p.files.existsAsked.empty());
    EXPECT_EQ(*std::find_if(p.files.existsAsked.begin(), p.files.existsAsked.end(),
                            [](const std::string& f) {
                              return f.find(".stp") != std::string::npos || f.find(".txt") != std::string::npos;
                            }),
              row.controlFileFirst);
  }
}

// With several bad values the box names the first in the order of the values,
// whatever the order of their keys.
TEST(SettingsTest, OfSeveralBadValuesTheFirstValueIsReported) {
  fakes::FakeSettingsStore store;
  store.Set(Key::MachinePolicy, "LogFile", "Logs\\PelluxMONITOR.anc");
  store.Set(Key::MachinePolicy, "BridgeProcess", "Lintaro");
  store.Set(Key::Machine32, "ControllerProcess", "javaw");
  store.Set(Key::UserPolicy, "BridgePath", "Puente.exe");
  const Settings settings = ReadSettings(store);
  ASSERT_TRUE(settings.bad);
  EXPECT_EQ(BadSettingLogText(*settings.bad),
            std::string("El Valor 'ControllerProcess' NO es Valido!!! En la Clave '") + kWorkstation32 +
                "': " + kNameNotExe);
}

// The registry adapter reads where the texts say: the Policies keys and the
// user's own in the 64-bit view, so that the 32-bit monitor on 64-bit Windows
// reads what was written for the 64-bit one; the workstation's key in both
// views, since a 32-bit package writes it in the 32-bit one (WOW6432Node).
TEST(SettingsTest, RegistryPlacesAgreeWithTheKeyTextsAndTheirViews) {
  const struct {
    Key key;
    const char* place;
    std::uint32_t view;
  } rows[] = {
      {Key::MachinePolicy, kHklm, win32::kKeyWow64_64},
      {Key::UserPolicy, kHkcuPolicy, win32::kKeyWow64_64},
      {Key::User, kHkcu, win32::kKeyWow64_64},
      {Key::Machine, kWorkstation, win32::kKeyWow64_64},
      {Key::Machine32, kWorkstation, win32::kKeyWow64_32},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(KeyText(row.key));
    const win32::RegistryPlace place = win32::PlaceOf(row.key);
    const std::string root = place.root == win32::RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\";
    EXPECT_EQ(root + std::string(place.subkey, place.subkey + std::wcslen(place.subkey)), row.place);
    EXPECT_EQ(place.access, win32::kKeyQueryValue | row.view);
  }
  EXPECT_EQ(KeyText(Key::Machine32), std::string(kWorkstation32));
}

// In a 32-bit monitor on 64-bit Windows %ProgramFiles% would name the 32-bit
// folder; where the native folders' variables are defined they stand in.
TEST(SettingsTest, ProgramFilesNamesTheNativeFolderWhereItsVariableIsDefined) {
  const struct {
    const char* text;
    bool native;
    const char* expected;
  } rows[] = {
      {"%ProgramFiles%\\Ferrowin\\LINTARO\\LINTARO.exe", true, "%ProgramW6432%\\Ferrowin\\LINTARO\\LINTARO.exe"},
      {"%PROGRAMFILES%\\a.exe;%commonprogramfiles%\\b", true, "%ProgramW6432%\\a.exe;%CommonProgramW6432%\\b"},
      // 32-bit Windows defines neither: the text stays as it is.
      {"%ProgramFiles%\\a.exe;%CommonProgramFiles%\\b", false, "%ProgramFiles%\\a.exe;%CommonProgramFiles%\\b"},
      // Other names, and names that only begin alike, are left alone.
      {"%ProgramFiles(x86)%\\a.exe", true, "%ProgramFiles(x86)%\\a.exe"},
      {"%ProgramFilesX%\\%SystemDrive%\\a.exe", true, "%ProgramFilesX%\\%SystemDrive%\\a.exe"},
      // The pairs are taken from the left, as the expansion does: here ProgramFiles is no name.
      {"%A%ProgramFiles%B%", true, "%A%ProgramFiles%B%"},
      {"C:\\50%\\%ProgramFiles%", true, "C:\\50%\\%ProgramFiles%"},
      {"%ProgramFiles", true, "%ProgramFiles"},
      {"", true, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(win32::WithNativeProgramFolders(row.text, row.native, row.native), row.expected);
  }
  EXPECT_EQ(win32::WithNativeProgramFolders("%ProgramFiles%;%CommonProgramFiles%", false, true),
            "%ProgramFiles%;%CommonProgramW6432%");
}

}  // namespace
}  // namespace pellux
