#include "app/start_guard.h"

#include <optional>
#include <string>

#include "common/upper_case.h"
#include "log/system_events.h"

namespace pellux {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The program the machine-wide package installed, when that package is
// installed (in either registry view) and this program is not it.
std::optional<std::string> OtherMachineWideProgram(SystemInfo& system, SettingsStore& settings) {
  std::optional<std::string> other;
  const std::string ownFolder = UpperText(system.ProgramFolder());
  for (const SettingsKey key : {SettingsKey::Machine, SettingsKey::Machine32}) {
    if (!settings.Read(key, kInstalledValue)) continue;
    const std::optional<StoredValue> program = settings.Read(key, kMachineProgramValue);
    if (!program || program->kind != StoredKind::Text || FolderOf(program->text).empty()) continue;
    if (UpperText(FolderOf(program->text)) == ownFolder) return std::nullopt;  // we are that program
    if (!other) other = program->text;
  }
  return other;
}

}  // namespace

int RefuseToSupervise(SystemInfo& system, SettingsStore& settings, SystemEventLog& events) {
  const std::optional<std::uint32_t> session = system.SessionId();
  const std::string sessionText = session ? std::to_string(*session) : "-";
  if (session == 0u) {
    NobodySeesEvent(events, "session 0", sessionText);
    return kExitNobodySees;
  }
  if (system.WindowStationVisible() == false) {
    NobodySeesEvent(events, "window station not interactive", sessionText);
    return kExitNobodySees;
  }
  if (const std::optional<std::string> machineProgram = OtherMachineWideProgram(system, settings)) {
    BesideMachineWideEvent(events, system.ProgramFolder(), *machineProgram);
    return kExitBesideMachineWide;
  }
  return 0;
}

}  // namespace pellux
