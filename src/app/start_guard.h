#pragma once
#include "platform/settings_store.h"
#include "platform/system_event_log.h"
#include "platform/system_info.h"

namespace pellux {

// Exit codes of a monitor that refuses to supervise (1 is one without its window).
inline constexpr int kExitNobodySees = 2;
inline constexpr int kExitBesideMachineWide = 3;

// What the machine-wide package writes under HKLM\SOFTWARE\PelluxMONITOR (in its
// registry view): its mark, and the full path of the program it installed.
inline constexpr char kInstalledValue[] = "Installed";
inline constexpr char kMachineProgramValue[] = "Program";

// Asked once, before the monitor claims its session or makes a window: whether
// it may supervise at all. It may not where no user can see it (the services'
// session 0, a window station that is not the interactive one), nor beside the
// machine-wide package when it is not that package's program (a per-user
// install left in place, whose monitor would race the machine-wide one for the
// session and never be upgraded). A refusal writes its one event and gives the
// exit code to end with; 0 lets the monitor start. What cannot be told (a call
// that failed, a machine-wide package that names no program) never refuses: a
// watchdog that does not start is worse than one more start.
[[nodiscard]] int RefuseToSupervise(SystemInfo& system, SettingsStore& settings, SystemEventLog& events);

}  // namespace pellux
