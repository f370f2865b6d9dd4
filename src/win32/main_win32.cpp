#include <windows.h>
#include <ole2.h>

#include "app/monitor.h"
#include "app/platform.h"
#include "win32/files_win32.h"
#include "win32/main_window_win32.h"
#include "win32/process_table_win32.h"
#include "win32/system_events_win32.h"
#include "win32/system_win32.h"
#include "win32/tray_service_win32.h"

namespace {

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
  Win32SystemEventLog events;

  const pellux::Platform platform{files,  clock,  processes, launcher, dialogs, system, lifetime,
                                  window, window, tray,      serial,   locale,  events};
  pellux::Monitor monitor(platform);
  window.SetEvents(&monitor);
  monitor.Start();
  if (monitor.Ended()) return 0;
  return RunMessageLoop(window);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // First of all: an existence test on an absent or empty drive must not
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
