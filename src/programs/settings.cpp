#include "programs/settings.h"

#include <cctype>
#include <utility>

namespace pellux {
namespace {

constexpr SettingsKey kKeyOrder[] = {SettingsKey::MachinePolicy, SettingsKey::UserPolicy, SettingsKey::User,
                                     SettingsKey::Machine, SettingsKey::Machine32};

constexpr char kWrongType[] = "El Tipo NO es REG_SZ ni REG_EXPAND_SZ";
constexpr char kUnreadable[] = "NO se Pudo Leer";
constexpr char kNotExpanded[] = "NO se Pudo Expandir";
constexpr char kTooLong[] = "Tiene Mas de 259 Caracteres";
constexpr char kNotAbsolute[] = "La Ruta NO es Absoluta (Unidad y '\\', o '\\\\Servidor\\Recurso\\')";
constexpr char kBadPathCharacter[] = "La Ruta Contiene un Caracter NO Valido";
constexpr char kNotExe[] = "La Ruta NO Termina en '.exe'";
constexpr char kEmptyName[] = "El Nombre Esta Vacio";
constexpr char kBadNameCharacter[] = "El Nombre Contiene '\\', '/' o ':'";
constexpr char kNameNotExe[] = "El Nombre NO Termina en '.exe'";
constexpr char kNotNumber[] = "El Tipo NO es REG_DWORD";
constexpr char kBelowLeast[] = "Es Menor que 64";
constexpr char kOnlySpaces[] = "Solo Tiene Espacios";
static_assert(kLeastLogLimitKB == 64, "the text names the least limit");
static_assert(kLeastBridgeHungSeconds == 10 && kMostBridgeHungSeconds == 3600, "the text names the bounds");

// MatchText: a part of a path or of a command line, which any text but
// blanks alone can be.
enum class Kind { ProgramPath, ProcessName, FilePath, MatchText };

// What a bad value does: a program's refuses the start; a diagnosis
// feature's turns that feature off.
enum class OnBad { Refuse, TurnOff };

void Record(Settings& settings, OnBad onBad, BadSetting bad) {
  if (onBad == OnBad::TurnOff) {
    settings.turnedOff.push_back(std::move(bad));
  } else if (!settings.bad) {
    settings.bad = std::move(bad);
  }
}

// Characters as the system counts them (UTF-16 units), from UTF-8.
std::size_t SystemLength(const std::string& text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) ++units;  // a lead byte starts a character
    if ((b & 0xF8) == 0xF0) ++units;  // beyond the basic plane: a surrogate pair
  }
  return units;
}

bool IsDriveLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// "X:\..." or "\\server\share\...".
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  if (path.rfind("\\\\", 0) != 0) return false;
  const std::size_t shareStart = path.find('\\', 2);
  if (shareStart == std::string::npos || shareStart == 2) return false;
  const std::size_t shareEnd = path.find('\\', shareStart + 1);
  return shareEnd != std::string::npos && shareEnd > shareStart + 1;
}

// No file name holds these; a ':' past the drive would name a stream.
bool HasBadPathCharacter(const std::string& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '?' || c == '*') return true;
    if (c == ':' && i != 1) return true;
  }
  return false;
}

bool EndsWithExe(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".exe";
}

// Why value cannot be used as a value of this kind, or nullptr.
const char* Fault(Kind kind, const std::string& value) {
  if (SystemLength(value) > kLongestSettingChars) return kTooLong;
  if (kind == Kind::MatchText) {
    // Blanks alone are in nearly every command line: the setting would tell nothing apart.
    return !value.empty() && value.find_first_not_of(" \t") == std::string::npos ? kOnlySpaces : nullptr;
  }
  if (kind == Kind::ProcessName) {
    if (value.empty()) return kEmptyName;
    if (value.find_first_of("\\/:") != std::string::npos) return kBadNameCharacter;
    // The name is matched at the end of an executable's path: without .exe
    // it never matches, and the cycle would relaunch or end on every turn.
    if (!EndsWithExe(value)) return kNameNotExe;
    // ".exe" alone leaves an empty stop name, which every process holds.
    if (value.size() == 4) return kEmptyName;
    return nullptr;
  }
  if (kind == Kind::FilePath && value.empty()) return nullptr;  // only the one beside the monitor
  if (!IsAbsolute(value)) return kNotAbsolute;
  if (HasBadPathCharacter(value)) return kBadPathCharacter;
  if (kind == Kind::ProgramPath && !EndsWithExe(value)) return kNotExe;
  return nullptr;
}

// One value: from the first key that holds it, checked, or nullopt when no
// key holds it or it is bad. A bad one is recorded as onBad says.
std::optional<std::string> ReadOne(SettingsStore& store, const char* name, Kind kind, Settings& settings,
                                   OnBad onBad = OnBad::Refuse) {
  for (const SettingsKey key : kKeyOrder) {
    const std::optional<StoredValue> stored = store.Read(key, name);
    if (!stored) continue;
    const char* fault = nullptr;
    std::optional<std::string> value;
    switch (stored->kind) {
      case StoredKind::Number:
      case StoredKind::OtherType:
        fault = kWrongType;
        break;
      case StoredKind::Unreadable:
        fault = kUnreadable;
        break;
      case StoredKind::ExpandText:
        value = store.Expand(stored->text);
        if (!value) fault = kNotExpanded;
        break;
      case StoredKind::Text:
        value = stored->text;
        break;
    }
    if (fault == nullptr) fault = Fault(kind, *value);
    if (fault != nullptr) {
      Record(settings, onBad, {name, key, fault});
      return std::nullopt;
    }
    settings.set.push_back({name, *value, key});
    return value;
  }
  return std::nullopt;
}

// The log's limit, a REG_DWORD, from the first key that holds it; a bad one
// leaves the built-in limit.
void ReadLogLimit(SettingsStore& store, const char* name, Settings& settings) {
  for (const SettingsKey key : kKeyOrder) {
    const std::optional<StoredValue> stored = store.Read(key, name);
    if (!stored) continue;
    const char* fault = stored->kind == StoredKind::Unreadable ? kUnreadable
                        : stored->kind != StoredKind::Number   ? kNotNumber
                        : stored->number < kLeastLogLimitKB    ? kBelowLeast
                                                               : nullptr;
    if (fault != nullptr) {
      Record(settings, OnBad::TurnOff, {name, key, fault});
      return;
    }
    settings.logLimitKB = stored->number;
    settings.set.push_back({name, std::to_string(stored->number), key});
    return;
  }
}

// BridgeHungSeconds, a REG_DWORD, from the first key that holds it: 0 leaves
// the check off, as does a bad value.
void ReadBridgeHungSeconds(SettingsStore& store, const char* name, Settings& settings) {
  for (const SettingsKey key : kKeyOrder) {
    const std::optional<StoredValue> stored = store.Read(key, name);
    if (!stored) continue;
    std::string fault = stored->kind == StoredKind::Unreadable ? kUnreadable
                        : stored->kind != StoredKind::Number   ? kNotNumber
                                                               : "";
    const std::uint32_t seconds = stored->number;
    if (fault.empty() && seconds != 0 && (seconds < kLeastBridgeHungSeconds || seconds > kMostBridgeHungSeconds))
      fault = "El Numero " + std::to_string(seconds) + " NO Esta Entre 10 y 3600";
    if (!fault.empty()) {
      Record(settings, OnBad::TurnOff, {name, key, fault});
      return;
    }
    settings.bridgeHungSeconds = seconds;
    settings.set.push_back({name, std::to_string(seconds), key});
    return;
  }
}

}  // namespace

const char* KeyText(SettingsKey key) {
  switch (key) {
    case SettingsKey::MachinePolicy:
      return "HKLM\\SOFTWARE\\Policies\\PelluxMONITOR";
    case SettingsKey::UserPolicy:
      return "HKCU\\SOFTWARE\\Policies\\PelluxMONITOR";
    case SettingsKey::User:
      return "HKCU\\SOFTWARE\\PelluxMONITOR";
    case SettingsKey::Machine:
      return "HKLM\\SOFTWARE\\PelluxMONITOR";
    case SettingsKey::Machine32:
      break;
  }
  return "HKLM\\SOFTWARE\\WOW6432Node\\PelluxMONITOR";
}

Settings ReadSettings(SettingsStore& store) {
  const ProgramTable& builtIn = BuiltInPrograms();
  Settings s;
  const std::string controllerPath = ReadOne(store, kSettingNames[0], Kind::ProgramPath, s)
                                         .value_or(builtIn.controller.installPath);
  const std::string controllerProcess = ReadOne(store, kSettingNames[1], Kind::ProcessName, s)
                                            .value_or(builtIn.controller.runningCheckName);
  const std::optional<std::string> bridgePathSet = ReadOne(store, kSettingNames[2], Kind::ProgramPath, s);
  const std::string bridgePath = bridgePathSet.value_or(builtIn.bridge.installPath);
  // A bridge installed under another name runs under that name: the
  // built-in Lintaro.exe would never be found, and it would be started
  // again on every cycle. (The controller's path is its launcher's, never
  // the name it runs under.)
  const std::string bridgeProcess = ReadOne(store, kSettingNames[3], Kind::ProcessName, s)
                                        .value_or(bridgePathSet ? FileNameOf(*bridgePathSet)
                                                                : builtIn.bridge.runningCheckName);
  s.controlFile = ReadOne(store, kSettingNames[4], Kind::FilePath, s, OnBad::TurnOff).value_or(kBuiltInControlFile);
  const std::size_t offBefore = s.turnedOff.size();
  s.logFile = ReadOne(store, kSettingNames[5], Kind::FilePath, s, OnBad::TurnOff).value_or("");
  s.logOff = s.turnedOff.size() != offBefore;
  ReadLogLimit(store, kSettingNames[6], s);
  ReadBridgeHungSeconds(store, kSettingNames[7], s);
  s.controllerMatch = ReadOne(store, kSettingNames[8], Kind::MatchText, s, OnBad::TurnOff).value_or("");
  s.programs = {MakeProgram(ProgramButton::CBPellux, controllerPath, controllerProcess),
                MakeProgram(ProgramButton::CBLINTARO, bridgePath, bridgeProcess)};
  return s;
}

std::string BadSettingBoxText(const BadSetting& bad) {
  return "El Valor '" + bad.name + "' NO es Valido!!!\rEn la Clave '" + KeyText(bad.source) + "'\r" + bad.reason;
}

std::string BadSettingLogText(const BadSetting& bad) {
  return "El Valor '" + bad.name + "' NO es Valido!!! En la Clave '" + KeyText(bad.source) + "': " + bad.reason;
}

std::string SetValueLogText(const SetValue& value) {
  return value.name + " = '" + value.value + "' (" + KeyText(value.source) + ")";
}

std::string SourcesText(const Settings& settings) {
  if (settings.set.empty()) return "built-in";
  std::string text;
  for (const SetValue& v : settings.set) {
    if (!text.empty()) text += "; ";
    text += v.name + ": " + KeyText(v.source);
  }
  return text;
}

}  // namespace pellux
