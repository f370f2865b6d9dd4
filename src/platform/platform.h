#pragma once
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/launch_record.h"
#include "platform/launcher.h"
#include "platform/lifetime.h"
#include "platform/number_locale.h"
#include "platform/process_ends.h"
#include "platform/process_table.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/supervision_mark.h"
#include "platform/system_event_log.h"
#include "platform/system_info.h"
#include "platform/timers.h"
#include "platform/tray_service.h"
#include "platform/window_controls.h"
#include "platform/window_probe.h"
#include "platform/workstation_claim.h"

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
  SettingsStore& settings;
  LaunchRecord& launchRecord;
  WorkstationClaim& claim;
  WindowProbe& windows;
  SupervisionMark& mark;
  // None: no end is told, and the 3-second cycle alone sees one.
  ProcessEnds* ends = nullptr;
};

}  // namespace pellux
