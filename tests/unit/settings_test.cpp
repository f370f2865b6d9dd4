#include <gtest/gtest.h>

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

struct Stored {
  Key key;
  const char* name;
  std::string text;
  Kind kind = Kind::Text;
};

struct SourceCase {
  std::vector<Stored> stored;
  // controller path, its folder, its stop name; bridge path, its stop name; control file
  std::vector<std::string> used;
  std::string sources;
};

TEST(SettingsTest, EachValueComesFromTheFirstKeyThatHoldsIt) {
  const SourceCase cases[] = {
      {{},
       {"C:\\Program Files\\Pellux\\Pellux.exe", "C:\\Program Files\\Pellux", "javaw",
        "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro", "D:\\Pellux.stp"},
       "built-in"},
      {{{Key::User, "ControllerPath", "C:\\User\\Ctl.exe"},
        {Key::UserPolicy, "ControllerPath", "C:\\UserPolicy\\Ctl.exe"},
        {Key::MachinePolicy, "ControllerPath", "C:\\Planta\\Control\\Ctl.exe"},
        {Key::User, "BridgePath", "E:\\User\\Puente.exe"},
        {Key::UserPolicy, "BridgePath", "E:\\Puente.exe"},  // at the root: starts in "E:\"
        {Key::User, "BridgeProcess", "PUENTE.EXE"}},
       {"C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control", "javaw", "E:\\Puente.exe", "PUENTE",
        "D:\\Pellux.stp"},
       std::string("ControllerPath: ") + kHklm + "; BridgePath: " + kHkcuPolicy +
           "; BridgeProcess: " + kHkcu},
      // REG_EXPAND_SZ is expanded, REG_SZ taken as it is; the stop name is the name less its .exe.
      {{{Key::User, "ControllerPath", "%ProgramFiles(x86)%\\Pellux\\Pellux.exe", Kind::ExpandText},
        {Key::User, "ControllerProcess", "java.EXE"},
        {Key::UserPolicy, "ControlFile", "\\\\srv\\plant\\%Pellux%.stp"}},
       {"C:\\Program Files (x86)\\Pellux\\Pellux.exe", "C:\\Program Files (x86)\\Pellux", "java",
        "C:\\Program Files\\Ferrowin\\LINTARO\\LINTARO.exe", "Lintaro", "\\\\srv\\plant\\%Pellux%.stp"},
       std::string("ControllerPath: ") + kHkcu + "; ControllerProcess: " + kHkcu +
           "; ControlFile: " + kHkcuPolicy},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.sources);
    fakes::FakeSettingsStore store;
    for (const Stored& s : c.stored) store.Set(s.key, s.name, s.text, s.kind);
    const Settings settings = ReadSettings(store);
    ASSERT_FALSE(settings.bad) << settings.bad->reason;
    const SupervisedProgram& controller = settings.programs.controller;
    const SupervisedProgram& bridge = settings.programs.bridge;
    EXPECT_EQ((std::vector<std::string>{controller.installPath, controller.installFolder,
                                        controller.stopName, bridge.installPath, bridge.stopName,
                                        settings.controlFile}),
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

  EXPECT_EQ(fake.launcher.launches, (std::vector<std::pair<std::string, std::string>>{
                                        {"E:\\Puente\\Puente.exe", "E:\\Puente"},
                                        {"C:\\Planta\\Control\\Ctl.exe", "C:\\Planta\\Control"}}));
  EXPECT_EQ(fake.dialogs.boxes.at(1).text, "El Programa 'Ctl.exe' NO Arranco!!!");
  EXPECT_EQ(fakes::LogTextsAfterBanner(fake.files.Contents(kLog)),
            (std::vector<std::string>{
                "PelluxMONITOR - STARTED!!!",
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

TEST(SettingsTest, ABadValueIsRefusedWithItsBoxAndNothingStarts) {
  const std::string tooLong = "C:\\" + std::string(kLongestSettingChars - 6, 'a') + ".exe";
  const std::pair<Stored, const char*> cases[] = {
      {{Key::MachinePolicy, "ControllerPath", "", Kind::OtherType}, "El Tipo NO es REG_SZ ni REG_EXPAND_SZ"},
      {{Key::User, "ControllerPath", "", Kind::Unreadable}, "NO se Pudo Leer"},
      {{Key::User, "BridgePath", "Puente\\Puente.exe"}, kNotAbsolute},
      {{Key::User, "ControllerPath", "C:Ctl.exe"}, kNotAbsolute},
      {{Key::User, "ControlFile", "\\\\srv\\Pellux.stp"}, kNotAbsolute},  // no share
      {{Key::UserPolicy, "BridgePath", "%NOPE%\\Puente.exe", Kind::ExpandText}, kNotAbsolute},
      {{Key::User, "ControllerPath", "C:\\Planta\\Ctl.bat"}, "La Ruta NO Termina en '.exe'"},
      // A quote would break the quoted command line; a ':' past the drive names a stream.
      {{Key::User, "BridgePath", "C:\\a.exe\" -x \"C:\\b.exe"}, kBadCharacter},
      {{Key::User, "ControllerPath", "C:\\Planta\\Ctl.exe:x.exe"}, kBadCharacter},
      {{Key::User, "ControllerProcess", "bin\\javaw.exe"}, kBadName},
      {{Key::User, "BridgeProcess", "C:Puente.exe"}, kBadName},
      // An empty name matches every process: the first in the list would be stopped.
      {{Key::User, "BridgeProcess", ""}, "El Nombre Esta Vacio"},
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
    p.settings.Set(Key::User, stored.name, "C:\\Good\\Good.exe");
    p.settings.Set(stored.key, stored.name, stored.text, stored.kind);
    Monitor m(p.platform());
    m.Start();

    const std::string what = std::string("El Valor '") + stored.name + "' NO es Valido!!!";
    const std::string where = std::string("En la Clave '") + KeyText(stored.key) + "'";
    EXPECT_EQ(p.journal, (fakes::Journal{"box " + what + "\r" + where + "\r" + reason,
                                         "box Chauuu...\r:(", "end"}));
    EXPECT_EQ(p.dialogs.boxes[0].caption, "PelluxMONITOR");
    EXPECT_EQ(p.dialogs.boxes[0].style & 0xFFFF, 0u);  // OK only, no icon
    const std::string line = what + " " + where + ": " + reason;
    EXPECT_EQ(fakes::LogTextsAfterBanner(p.files.Contents(kLog)).back(), line);
    ASSERT_EQ(p.events.Ids(), (std::vector<EventId>{EventId::Started, EventId::SettingRefused,
                                                    EventId::Ended}));
    EXPECT_EQ(p.events.events[1].strings,
              (std::vector<std::string>{line, stored.name, KeyText(stored.key), reason}));
    EXPECT_EQ(p.events.events[2].strings[1], "bad setting");
    EXPECT_TRUE(p.launcher.launches.empty());
    EXPECT_EQ(p.controls.creates, 0);
  }
  // The system counts characters, not UTF-8 bytes: 259 of them pass, "ñ" or not.
  std::string wide = "C:\\";
  for (std::size_t i = 0; i < kLongestSettingChars - 7; ++i) wide += "\xC3\xB1";
  for (const std::string& longest : {tooLong.substr(0, 3) + tooLong.substr(4), wide + ".exe"}) {
    fakes::FakeSettingsStore store;
    store.Set(Key::User, "ControllerPath", longest);
    EXPECT_FALSE(ReadSettings(store).bad);
  }
}

// The registry adapter reads where the texts say, in the 64-bit view, so that
// the 32-bit monitor on 64-bit Windows reads what was written for the 64-bit one.
TEST(SettingsTest, RegistryPlacesAgreeWithTheKeyTextsInThe64BitView) {
  for (const Key key : {Key::MachinePolicy, Key::UserPolicy, Key::User}) {
    const win32::RegistryPlace place = win32::PlaceOf(key);
    const std::string root = place.root == win32::RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\";
    EXPECT_EQ(root + std::string(place.subkey, place.subkey + std::wcslen(place.subkey)), KeyText(key));
    EXPECT_EQ(place.access, win32::kKeyQueryValue | win32::kKeyWow64_64);
  }
}

}  // namespace
}  // namespace pellux
