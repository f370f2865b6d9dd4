#pragma once
// Small fakes of everything the operating system provides. Each records what
// was asked of it; those that matter for order also write to a shared
// journal, so a test can assert the sequence a user would see.
// One header per interface, named as its interface in src/platform/; this
// one wires them all into a Platform.

#include "fakes/accessibility.h"
#include "fakes/clock.h"
#include "fakes/dialogs.h"
#include "fakes/file_system.h"
#include "fakes/journal.h"
#include "fakes/launch_record.h"
#include "fakes/launcher.h"
#include "fakes/lifetime.h"
#include "fakes/log_lines.h"
#include "fakes/number_locale.h"
#include "fakes/process_ends.h"
#include "fakes/process_table.h"
#include "fakes/serial_port.h"
#include "fakes/settings_store.h"
#include "fakes/supervision_mark.h"
#include "fakes/system_event_log.h"
#include "fakes/system_info.h"
#include "fakes/timers.h"
#include "fakes/tray_service.h"
#include "fakes/window_controls.h"
#include "fakes/window_probe.h"
#include "fakes/workstation_claim.h"
#include "log/event_log.h"
#include "platform/platform.h"
#include "programs/programs.h"

namespace pellux {

// The built-in records, as the tests name them.
inline const SupervisedProgram& kController = BuiltInPrograms().controller;
inline const SupervisedProgram& kBridge = BuiltInPrograms().bridge;

}  // namespace pellux

namespace pellux::fakes {

// Every fake at once, wired into a Platform.
struct FakePlatform {
  Journal journal;
  FakeFileSystem files;
  FakeClock clock;
  FakeProcessTable processes;
  FakeLauncher launcher{journal};
  FakeDialogs dialogs{journal};
  FakeSystemInfo system;
  FakeLifetime lifetime{journal};
  FakeWindowControls controls{journal};
  FakeAccessibility accessibility;  // behind the window's controls, not a platform service of its own
  FakeTimers timers;
  FakeTrayService tray{journal};
  FakeSerialPort serial;
  FakeNumberLocale locale;
  FakeSystemEventLog events;
  FakeSettingsStore settings;
  FakeLaunchRecord launchRecord;
  FakeWorkstationClaim claim;
  FakeWindowProbe windows;

  FakeSupervisionMark mark;
  FakeProcessEnds ends{processes};

  [[nodiscard]] Platform platform() {
    Platform p{files, clock,  processes, launcher, dialogs,  system,       lifetime, controls, timers,
               tray,  serial, locale,    events,   settings, launchRecord, claim,    windows,  mark};
    p.ends = &ends;
    return p;
  }

  // Forgets what the monitor did through the services of the window, the files,
  // the events and the launcher, so that the next look sees only what follows.
  void ClearRecords() {
    processes.ClearRecords();
    launcher.launches.clear();
    timers.history.clear();
    journal.clear();
    tray.calls.clear();
    files.existsAsked.clear();
    files.readsAsked.clear();
    files.looksAsked.clear();
    dialogs.boxes.clear();
    events.events.clear();
    serial.calls.clear();
  }
};

}  // namespace pellux::fakes
