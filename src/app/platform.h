#pragma once
#include "app/dialogs.h"
#include "app/launcher.h"
#include "app/lifetime.h"
#include "app/system_info.h"
#include "log/clock.h"
#include "log/file_system.h"
#include "log/system_events.h"
#include "process/process_table.h"
#include "tray/tray_service.h"
#include "ui/number_locale.h"
#include "ui/serial_port.h"
#include "ui/timers.h"
#include "ui/window_controls.h"

namespace pellux {

// Everything the operating system provides to the monitor.
struct Platform {
  FileSystem& files;
  Clock& clock;
  ProcessTable& processes;
  Launcher& launcher;
  Dialogs& dialogs;
  SystemInfo& system;
  Lifetime& lifetime;
  WindowControls& controls;
  Timers& timers;
  TrayService& tray;
  SerialPort& serial;
  NumberLocale& locale;
  SystemEventLog& events;
};

}  // namespace pellux
