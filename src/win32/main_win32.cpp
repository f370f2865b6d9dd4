#include <windows.h>
#include <ole2.h>

#include "app/monitor.h"
#include "app/platform.h"
#include "win32/files_win32.h"
#include "win32/main_window_win32.h"
#include "win32/process_table_win32.h"
#include "win32/system_win32.h"
#include "win32/tray_service_win32.h"

namespace {

// Whatever is loaded by name from here on comes from the system folder only,
// never from the monitor's own (writable) folder or the current directory.
// Windows 7 without its loader update lacks SetDefaultDllDirectories: there
// the current directory at least leaves the search, and the one library the
// monitor loads itself is named by its full path.
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFunction = BOOL WINAPI(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction*>(reinterpret_cast<void*>(
      kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  (void)::SetDllDirectoryW(L"");  // nothing better to do should it fail
}

int RunMessageLoop(pellux::win32::Win32MainWindow& window) {
  MSG message{};
  for (;;) {
    const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT, or a broken queue
    if (window.PreTranslate(message)) continue;
    (void)::TranslateMessage(&message);  // FALSE only says no character was made
    (void)::DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

int Run(HINSTANCE instance) {
  using namespace pellux::win32;
  Win32FileSystem files;
  Win32Clock clock;
  Win32ProcessTable processes;
  Win32Launcher launcher;
  Win32SystemInfo system;
  Win32Lifetime lifetime;
  Win32MainWindow window(instance);
  Win32Dialogs dialogs([&window] { return window.Handle(); });
  Win32TrayService tray(instance);
  Win32SerialPort serial;
  Win32NumberLocale locale;

  const pellux::Platform platform{files,  clock,  processes, launcher, dialogs, system,
                                  lifetime, window, window,  tray,     serial,  locale};
  pellux::Monitor monitor(platform);
  window.SetEvents(&monitor);
  monitor.Start();
  if (monitor.Ended()) return 0;
  return RunMessageLoop(window);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearch();
  // Then: an existence test on an absent or empty drive must not
  // bring up the system's "no disk" box.
  (void)::SetErrorMode(SEM_FAILCRITICALERRORS);  // returns the previous mode
  // The photograph is decoded by the OLE picture component.
  const HRESULT ole = ::OleInitialize(nullptr);
  int result = 0;
  try {
    result = Run(instance);
  } catch (...) {
    result = 1;
  }
  if (SUCCEEDED(ole)) ::OleUninitialize();
  return result;
}
