#include <gtest/gtest.h>

#include "app/monitor.h"
#include "fakes/fakes.h"
#include "programs/settings.h"
#include "win32/settings_places.h"

#include <cwchar>

namespace pellux {
namespace {

using Key = SettingsKey;
using Kind = StoredKind;

constexpr const char* kLog = "C:\\Monitor\\PelluxMONITOR.anc";

struct Stored {
  Key key;
  const char* name;
  const char* text;
  Kind kind = Kind::Text;
};

struct SourceCase {
  const char* what;
  std::vector<Stored> stored;
  // What the monitor then works with.
  const char* controllerPath;
  const char* controllerFolder;
  const char* controllerExe;
  const char* controllerCheck;
  const char* controllerStop;
  const char* bridgePath;
  const char* bridgeCheck;
  const char* bridgeStop;
  const char* controlFile;
  const char* sources;
};

const SourceCase kSourceCases[] = {
    {"nothing set: the built-in table", {},
     "C:\\Program Files\\Pellux\\Pellux.exe", "C:\\Program Files\\Pellux", "Pellux.exe", "javaw.exe",
     "javaw", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro.exe", "Lintaro",
     "D:\\Pellux.stp", "built-in"},
    {"machine policy over user policy over the user's key",
     {{Key::User, "ControllerPath", "C:\\User\\Ctl.exe"},
      {Key::UserPolicy, "ControllerPath", "C:\\UserPolicy\\Ctl.exe"},
      {Key::MachinePolicy, "ControllerPath", "C:\\Planta\\Control\\Ctl.exe"},
      {Key::User, "BridgePath", "E:\\User\\Puente.exe"},
      {Key::UserPolicy, "BridgePath", "E:\\Puente\\Puente.exe"},
      {Key::User, "BridgeProcess", "PUENTE.EXE"}},
     "C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control", "Ctl.exe", "javaw.exe", "javaw",
     "E:\\Puente\\Puente.exe", "PUENTE.EXE", "PUENTE", "D:\\Pellux.stp",
     "ControllerPath: HKLM\\SOFTWARE\\Policies\\PelluxMONITOR; BridgePath: "
     "HKCU\\SOFTWARE\\Policies\\PelluxMONITOR; BridgeProcess: HKCU\\SOFTWARE\\PelluxMONITOR"},
    {"REG_EXPAND_SZ expanded, REG_SZ taken as it is; a name without .exe is its own stop name",
     {{Key::User, "ControllerPath", "%ProgramFiles(x86)%\\Pellux\\Pellux.exe", Kind::ExpandText},
      {Key::User, "ControllerProcess", "java"},
      {Key::User, "ControlFile", "\\\\srv\\plant\\%Pellux%.stp"}},
     "C:\\Program Files (x86)\\Pellux\\Pellux.exe", "C:\\Program Files (x86)\\Pellux", "Pellux.exe",
     "java", "java", "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro.exe", "Lintaro",
     "\\\\srv\\plant\\%Pellux%.stp",
     "ControllerPath: HKCU\\SOFTWARE\\PelluxMONITOR; ControllerProcess: "
     "HKCU\\SOFTWARE\\PelluxMONITOR; ControlFile: HKCU\\SOFTWARE\\PelluxMONITOR"},
    {"a program at a drive's root starts in the root; an empty control file is allowed",
     {{Key::MachinePolicy, "BridgePath", "E:\\Puente.exe"}, {Key::UserPolicy, "ControlFile", ""}},
     "C:\\Program Files\\Pellux\\Pellux.exe", "C:\\Program Files\\Pellux", "Pellux.exe", "javaw.exe",
     "javaw", "E:\\Puente.exe", "Lintaro.exe", "Lintaro", "",
     "BridgePath: HKLM\\SOFTWARE\\Policies\\PelluxMONITOR; ControlFile: "
     "HKCU\\SOFTWARE\\Policies\\PelluxMONITOR"},
};

TEST(SettingsTest, EachValueComesFromTheFirstKeyThatHoldsIt) {
  for (const SourceCase& c : kSourceCases) {
    SCOPED_TRACE(c.what);
    fakes::FakeSettingsStore store;
    for (const Stored& s : c.stored) store.Set(s.key, s.name, s.text, s.kind);
    const Settings settings = ReadSettings(store);
    ASSERT_FALSE(settings.bad) << settings.bad->reason;
    const SupervisedProgram& controller = settings.programs.controller;
    const SupervisedProgram& bridge = settings.programs.bridge;
    EXPECT_EQ(controller.installPath, c.controllerPath);
    EXPECT_EQ(controller.installFolder, c.controllerFolder);
    EXPECT_EQ(controller.exeName, c.controllerExe);
    EXPECT_EQ(controller.runningCheckName, c.controllerCheck);
    EXPECT_EQ(controller.stopName, c.controllerStop);
    EXPECT_EQ(bridge.installPath, c.bridgePath);
    EXPECT_EQ(bridge.runningCheckName, c.bridgeCheck);
    EXPECT_EQ(bridge.stopName, c.bridgeStop);
    EXPECT_EQ(settings.controlFile, c.controlFile);
    EXPECT_EQ(SourcesText(settings), c.sources);
  }
}

class SettingsStartTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.files.AddFile(kLog); }
  std::vector<std::string> LogTexts() const {
    return fakes::LogTextsAfterBanner(fake.files.Contents(kLog));
  }
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
                {"E:\\Puente\\Puente.exe", "E:\\Puente"},
                {"C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control"}}));
  ASSERT_EQ(fake.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake.dialogs.boxes[1].text, "El Programa 'Ctl.exe' NO Arranco!!!");
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "PelluxMONITOR - STARTED!!!",
                "ControllerPath = 'C:\\Planta\\Control\\Ctl.exe' (HKCU\\SOFTWARE\\PelluxMONITOR)",
                "BridgePath = 'E:\\Puente\\Puente.exe' (HKLM\\SOFTWARE\\Policies\\PelluxMONITOR)",
                "BridgeProcess = 'Puente.exe' (HKCU\\SOFTWARE\\PelluxMONITOR)",
                "Puente.exe NO ARRANCO - RetVal: 0", "Ctl.exe NO ARRANCO - RetVal: 0"}));
  ASSERT_FALSE(fake.events.events.empty());
  EXPECT_EQ(fake.events.events[0].strings.back(),
            "ControllerPath: HKCU\\SOFTWARE\\PelluxMONITOR; BridgePath: "
            "HKLM\\SOFTWARE\\Policies\\PelluxMONITOR; BridgeProcess: HKCU\\SOFTWARE\\PelluxMONITOR");

  // The cycle relaunches the bridge at its own path, recognised by its own name.
  fake.processes.Add(8, "C:\\Planta\\Java\\bin\\javaw.exe");
  monitor.OnTimer(TimerId::Timer1);
  ASSERT_EQ(fake.launcher.launches.size(), 3u);
  EXPECT_EQ(fake.launcher.launches[2].first, "E:\\Puente\\Puente.exe");
  fake.processes.Add(12, "E:\\Puente\\Puente.exe");
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.launcher.launches.size(), 3u);
  // With the controller gone the bridge is stopped by its own name.
  fake.processes.processes.erase(fake.processes.processes.begin());
  monitor.OnTimer(TimerId::Timer1);
  EXPECT_EQ(fake.processes.terminated.size(), 1u);
  EXPECT_EQ(fake.events.events.back().strings.front(),
            "Puente.exe ended by the monitor: the controller (javaw.exe) is not running");
}

TEST_F(SettingsStartTest, TheControlFileSetIsReadFirstAndAnEmptyOneLeavesOnlyTheMonitorsOwn) {
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

struct BadCase {
  const char* what;
  Stored stored;
  const char* box;
};

const BadCase kBadCases[] = {
    {"another type", {Key::MachinePolicy, "ControllerPath", "", Kind::OtherType},
     "El Valor 'ControllerPath' NO es Valido!!!\rEn la Clave 'HKLM\\SOFTWARE\\Policies\\PelluxMONITOR'"
     "\rEl Tipo NO es REG_SZ ni REG_EXPAND_SZ"},
    {"a relative path", {Key::User, "BridgePath", "Puente\\Puente.exe"},
     "El Valor 'BridgePath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')"},
    {"a drive without its backslash", {Key::User, "ControllerPath", "C:Ctl.exe"},
     "El Valor 'ControllerPath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')"},
    {"a share without its name", {Key::User, "ControlFile", "\\\\srv\\Pellux.stp"},
     "El Valor 'ControlFile' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')"},
    {"an unknown variable left unexpanded",
     {Key::UserPolicy, "BridgePath", "%NOPE%\\Puente.exe", Kind::ExpandText},
     "El Valor 'BridgePath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\Policies\\PelluxMONITOR'"
     "\rLa Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')"},
    {"not an .exe", {Key::User, "ControllerPath", "C:\\Planta\\Ctl.bat"},
     "El Valor 'ControllerPath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta NO Termina en '.exe'"},
    {"a quote that would break the command line",
     {Key::User, "BridgePath", "C:\\a.exe\" -x \"C:\\b.exe"},
     "El Valor 'BridgePath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta Contiene un Caracter NO Valido"},
    {"a stream after the file", {Key::User, "ControllerPath", "C:\\Planta\\Ctl.exe:x.exe"},
     "El Valor 'ControllerPath' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rLa Ruta Contiene un Caracter NO Valido"},
    {"a process name with a folder", {Key::User, "ControllerProcess", "bin\\javaw.exe"},
     "El Valor 'ControllerProcess' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rEl Nombre Contiene '\\', '/' o ':'"},
    {"a process name with a drive", {Key::User, "BridgeProcess", "C:Puente.exe"},
     "El Valor 'BridgeProcess' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rEl Nombre Contiene '\\', '/' o ':'"},
    // An empty name would match every process: the first in the list would be stopped.
    {"an empty process name", {Key::User, "BridgeProcess", ""},
     "El Valor 'BridgeProcess' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rEl Nombre Esta Vacio"},
    {"unreadable", {Key::User, "ControllerProcess", "", Kind::Unreadable},
     "El Valor 'ControllerProcess' NO es Valido!!!\rEn la Clave 'HKCU\\SOFTWARE\\PelluxMONITOR'"
     "\rNO se Pudo Leer"},
};

TEST_F(SettingsStartTest, ABadValueIsRefusedWithItsBoxAndNothingStarts) {
  for (const BadCase& c : kBadCases) {
    SCOPED_TRACE(c.what);
    fakes::FakePlatform p;
    p.files.AddFile(kController.installPath);
    p.files.AddFile(kBridge.installPath);
    p.files.AddFile(kLog);
    // A good value in a later key never stands in for the bad one.
    p.settings.Set(Key::User, c.stored.name, "C:\\Good\\Good.exe");
    p.settings.Set(c.stored.key, c.stored.name, c.stored.text, c.stored.kind);
    Monitor m(p.platform());
    m.Start();

    EXPECT_EQ(p.journal, (fakes::Journal{std::string("box ") + c.box, "box Chauuu...\r:(", "end"}));
    EXPECT_EQ(p.dialogs.boxes[0].caption, "PelluxMONITOR");
    EXPECT_EQ(p.dialogs.boxes[0].style & 0xFFFF, 0u);  // OK only, no icon
    std::string line = c.box;
    line.replace(line.find('\r'), 1, " ");
    line.replace(line.find('\r'), 1, ": ");
    EXPECT_EQ(fakes::LogTextsAfterBanner(p.files.Contents(kLog)).back(), line);
    ASSERT_EQ(p.events.events.size(), 3u);
    EXPECT_EQ(p.events.events[1].id, EventId::SettingRefused);
    EXPECT_EQ(p.events.events[1].level, EventLevel::Error);
    EXPECT_EQ(p.events.events[1].strings[0], line);
    EXPECT_EQ(p.events.events[2].strings[1], "bad setting");
    EXPECT_TRUE(p.launcher.launches.empty());
    EXPECT_EQ(p.controls.creates, 0);
    EXPECT_TRUE(m.Ended());
  }
}

TEST(SettingsTest, TooLongAndUnexpandableValuesAreRefused) {
  struct Case {
    const char* name;
    std::string text;
    Kind kind;
    bool failExpand;
    const char* reason;
  };
  const std::string longest = "C:\\" + std::string(kLongestSettingChars - 7, 'a') + ".exe";
  // The system counts characters, not the bytes of UTF-8: each "ñ" is two.
  std::string longestWide = "C:\\";
  for (std::size_t i = 0; i < kLongestSettingChars - 7; ++i) longestWide += "\xC3\xB1";
  longestWide += ".exe";
  const Case cases[] = {
      {"ControllerPath", longest, Kind::Text, false, nullptr},
      {"ControllerPath", longestWide, Kind::Text, false, nullptr},
      {"ControllerPath", "C:\\" + std::string(kLongestSettingChars - 6, 'a') + ".exe", Kind::Text,
       false, "Tiene Mas de 259 Caracteres"},
      {"BridgeProcess", std::string(kLongestSettingChars + 1, 'p'), Kind::Text, false,
       "Tiene Mas de 259 Caracteres"},
      {"BridgePath", "%X%\\b.exe", Kind::ExpandText, true, "NO se Pudo Expandir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    fakes::FakeSettingsStore store;
    store.failExpand = c.failExpand;
    store.Set(Key::User, c.name, c.text, c.kind);
    const Settings s = ReadSettings(store);
    if (c.reason == nullptr) {
      EXPECT_FALSE(s.bad);
    } else {
      ASSERT_TRUE(s.bad);
      EXPECT_EQ(s.bad->reason, c.reason);
    }
  }
}

}  // namespace
}  // namespace pellux

namespace pellux {
namespace {

// The registry adapter reads where the texts say it does, and in the 64-bit
// view, so that a 32-bit monitor on 64-bit Windows reads what group policy
// and the installer wrote for the 64-bit one. Wine without its 32-bit part
// cannot run the 32-bit exe, so the view is checked here.
TEST(SettingsTest, RegistryPlacesAgreeWithTheKeyTextsInThe64BitView) {
  for (const Key key : {Key::MachinePolicy, Key::UserPolicy, Key::User}) {
    const win32::RegistryPlace place = win32::PlaceOf(key);
    const std::string root = place.root == win32::RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\";
    EXPECT_EQ(root + std::string(place.subkey, place.subkey + std::wcslen(place.subkey)), KeyText(key));
    EXPECT_EQ(place.access & (win32::kKeyWow64_64 | win32::kKeyWow64_32), win32::kKeyWow64_64);
    EXPECT_EQ(place.access & ~(win32::kKeyWow64_64 | win32::kKeyWow64_32), win32::kKeyQueryValue);
  }
}

}  // namespace
}  // namespace pellux
