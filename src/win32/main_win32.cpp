#include <windows.h>
#include <ole2.h>

#include "app/monitor.h"
#include "app/start_guard.h"
#include "platform/platform.h"
#include "ui/accessible_controls.h"
#include "win32/accessibility_win32.h"
#include "win32/clock_win32.h"
#include "win32/dialogs_win32.h"
#include "win32/files_win32.h"
#include "win32/launch_record_win32.h"
#include "win32/launcher_win32.h"
#include "win32/lifetime_win32.h"
#include "win32/main_window_win32.h"
#include "win32/number_locale_win32.h"
#include "win32/process_ends_win32.h"
#include "win32/process_table_win32.h"
#include "win32/serial_port_win32.h"
#include "win32/settings_win32.h"
#include "win32/supervision_mark_win32.h"
#include "win32/system_events_win32.h"
#include "win32/system_info_win32.h"
#include "win32/tray_service_win32.h"
#include "win32/win32_handles.h"
#include "win32/window_probe_win32.h"
#include "win32/workstation_claim_win32.h"

namespace {

// Whatever is loaded by name from here on comes from the system folder only,
// never from the monitor's own (writable) folder or the current directory.
// Windows 7 without its loader update lacks SetDefaultDllDirectories: there
// the current directory at least leaves the search, and the one library the
// monitor loads itself is named by its full path.
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFunction = BOOL WINAPI(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction*>(
      reinterpret_cast<void*>(kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  (void)::SetDllDirectoryW(L"");  // nothing better to do should it fail
}

// In the logon session's own namespace: other sessions on the machine (another
// user, a remote desktop) run monitors of their own.
constexpr char kSessionMarkName[] = "Local\\PelluxMONITOR.Session";

struct SessionClaim {
  pellux::win32::UniqueHandle mark;  // held for the monitor's whole life
  bool anotherMonitorRuns = false;
};

// A mark without a window may be an earlier monitor that is ending (its mark
// outlives it while the network holds one of its threads) or one still
// starting: it is asked again for a few seconds before this start gives way.
constexpr int kSessionClaimAttempts = 20;
constexpr DWORD kSessionClaimRetryMs = 250;

// Marks this logon session as supervised. The mark is an object that lives
// only while a process holds a handle to it, so a monitor that ended, however
// it ended, leaves none behind; the handle is not inheritable and the launched
// programs get none, so they cannot keep it alive either.
SessionClaim ClaimSession() {
  SessionClaim claim;
  ::SetLastError(ERROR_SUCCESS);
  claim.mark.reset(::CreateMutexA(nullptr, FALSE, kSessionMarkName));
  const DWORD error = ::GetLastError();
  // Access denied: the mark exists, made by a monitor with other rights (elevated).
  // Any other failure lets this one run: a watchdog that never starts is worse.
  claim.anotherMonitorRuns = error == ERROR_ALREADY_EXISTS || (!claim.mark && error == ERROR_ACCESS_DENIED);
  return claim;
}

// Asks Windows to start the monitor again when Restart Manager closed it for
// an update, and when Windows Error Reporting saw it crash or hang (after its
// first 60 s). Not after a reboot: the logon start does that, and a second
// restart would only meet the session's mark. Looked up at run time, as the
// call is missing where the system predates it.
void RegisterForRestart() {
  using RegisterApplicationRestartFunction = HRESULT WINAPI(PCWSTR, DWORD);
  constexpr DWORD kRestartNoReboot = 8;  // RESTART_NO_REBOOT
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto registerRestart = reinterpret_cast<RegisterApplicationRestartFunction*>(
      reinterpret_cast<void*>(kernel != nullptr ? ::GetProcAddress(kernel, "RegisterApplicationRestart") : nullptr));
  // The monitor reads no command line; a refusal only loses the restart.
  if (registerRestart != nullptr) (void)registerRestart(nullptr, kRestartNoReboot);
}

// Brings the running monitor to the front; it has no taskbar button, so this
// is how the operator finds it. False when none was found: it is still
// starting or ending.
bool ShowRunningMonitor() {
  const HWND window = ::FindWindowW(pellux::win32::kMainWindowClass, nullptr);
  if (window == nullptr) return false;
  if (::IsIconic(window)) (void)::ShowWindow(window, SW_RESTORE);  // returns the previous state
  // A box the monitor shows (a launch failure) is what waits for the operator.
  const HWND popup = ::GetLastActivePopup(window);
  // We were just started by the user, so we may hand the foreground on; FALSE
  // only says the system flashed the window instead.
  (void)::SetForegroundWindow(popup != nullptr ? popup : window);
  return true;
}

// Nobody sees the monitor, or it is a per-user copy beside the machine-wide
// package: its event is written and WinMain ends with its exit code.
int RefusedStart() {
  try {
    pellux::win32::Win32SystemInfo system;
    pellux::win32::Win32SettingsStore settings;
    pellux::win32::Win32SystemEventLog events;
    return pellux::RefuseToSupervise(system, settings, events);
  } catch (...) {
    return 0;  // out of memory while asking: the start goes on
  }
}

int RunMessageLoop(pellux::win32::Win32MainWindow& window) {
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT, or a broken queue
    if (window.PreTranslate(message)) continue;
    (void)::TranslateMessage(&message);  // FALSE only says no character was made
    (void)::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

int Run(HINSTANCE instance, pellux::win32::UniqueHandle& sessionMark) {
  using namespace pellux::win32;
  Win32FileSystem files;
  Win32Clock clock;
  Win32ProcessTable processes;
  Win32Launcher launcher;
  Win32SystemInfo system;
  Win32Lifetime lifetime(sessionMark);
  Win32MainWindow window(instance);
  // After the window: its annotations are cleared while its controls still exist.
  Win32Accessibility accessibility([&window] { return window.Handle(); });
  pellux::AccessibleControls controls(window, accessibility);
  Win32Dialogs dialogs([&window] { return window.Handle(); });
  Win32TrayService tray(instance);
  Win32SerialPort serial;
  Win32NumberLocale locale;
  Win32SystemEventLog events;
  Win32SettingsStore settings;
  Win32LaunchRecord launchRecord;
  Win32WorkstationClaim claim;
  Win32WindowProbe windows;

  Win32SupervisionMark mark(processes.CurrentSession());
  // Before the monitor, whose cycle gives its handles up as it goes.
  Win32ProcessEnds ends([&window] { return window.Handle(); }, WMAPP_PROGRAM_ENDED);
  pellux::Platform platform{files, clock,  processes, launcher, dialogs,  system,       lifetime, controls, window,
                            tray,  serial, locale,    events,   settings, launchRecord, claim,    windows,  mark};
  platform.ends = &ends;
  pellux::Monitor monitor(platform);
  window.SetEvents(&monitor);
  monitor.Start();
  if (monitor.Ended()) return 0;  // the real end leaves through ExitProcess
  return RunMessageLoop(window);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearch();
  // Before the session's mark, so that a monitor that refuses never keeps the
  // one that may run from starting.
  if (const int refused = RefusedStart(); refused != 0) {
    // A per-user copy left beside the machine-wide package: its shortcut
    // shows the monitor that runs, as a second start in a session does.
    if (refused == pellux::kExitBesideMachineWide) (void)ShowRunningMonitor();  // none found: nothing to show
    return refused;
  }
  // One monitor per logon session: a second start starts nothing, writes no
  // log line and shows no box, it only brings the first one forward.
  SessionClaim session = ClaimSession();
  for (int attempt = 1; session.anotherMonitorRuns; ++attempt) {
    if (ShowRunningMonitor() || attempt >= kSessionClaimAttempts) return 0;
    session.mark.reset();  // our own handle would keep the mark alive
    ::Sleep(kSessionClaimRetryMs);
    session = ClaimSession();
  }
  // Only the monitor that holds the mark: a restart that meets a running
  // monitor gives way to it like any second start.
  RegisterForRestart();
  // Before any file is touched: an existence test on an absent or empty drive must not
  // bring up the system's "no disk" box.
  (void)::SetErrorMode(SEM_FAILCRITICALERRORS);  // returns the previous mode
  // The photograph is decoded by the OLE picture component; the accessible
  // names are set through a COM object as well.
  const HRESULT ole = ::OleInitialize(nullptr);
  int result = 0;
  try {
    result = Run(instance, session.mark);
  } catch (...) {
    result = 1;
  }
  if (SUCCEEDED(ole)) ::OleUninitialize();
  return result;
}
