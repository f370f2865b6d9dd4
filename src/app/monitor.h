#pragma once
#include <string>

#include "app/program_start.h"
#include "app/start_wait.h"
#include "log/event_log.h"
#include "log/system_events.h"
#include "platform/platform.h"
#include "process/launched_programs.h"
#include "process/process_services.h"
#include "programs/settings.h"
#include "supervision/supervision_cycle.h"
#include "tray/tray_icon.h"
#include "ui/main_window.h"
#include "ui/program_buttons.h"
#include "ui/window_events.h"

namespace pellux {

// The monitor as a whole: the start-up sequence (its launches in
// ProgramStart, its look at the other sessions and its wait in StartWait),
// the window's events, the close request and the immediate end. It owns the
// log, the process services, the tray record, the window's behaviour, the
// cycle and the buttons; the operating system is reached only through
// Platform.
class Monitor final : public WindowEvents {
 public:
  explicit Monitor(const Platform& platform);

  // The start-up sequence, from the version text to arming Timer1.
  void Start();

  // True once the program has ended (the real end never returns).
  [[nodiscard]] bool Ended() const { return ended_; }
  [[nodiscard]] const std::string& AppVersion() const { return AppVersion_; }
  // The exit code of a monitor that could not run: no window or no Timer1.
  static constexpr int kExitNoWindow = 1;

  void OnTimer(TimerId timer) override;
  void OnProgramButtonClick(ProgramButton button) override;
  [[nodiscard]] bool OnPortFieldLostFocus() override;
  void OnCloseRequest() override;
  void OnSessionEnding() override;
  void OnSessionEndCancelled() override;
  void OnSessionEnd() override;
  void OnClosedForUpdate() override;
  void OnTaskbarCreated() override;
  void OnSupervisedProgramEnded() override;

  [[nodiscard]] EventLog& Log() { return log_; }
  [[nodiscard]] ProcessServices& Processes() { return processes_; }
  [[nodiscard]] MainWindow& Window() { return window_; }
  [[nodiscard]] TrayIcon& Tray() { return tray_; }

 private:
  // The close request and the end of the session: tray icon first, then the end.
  void Close(EndCause cause);
  // Ends at once; the tray icon is removed first when one was added.
  void ImmediateEnd(EndCause cause, int exitCode = 0);
  // A monitor without its window or Timer1 would hold the session's mark and
  // supervise nothing, and every later start would give way to it.
  void WindowFailed(const std::string& what);
  // The farewell boxes and the end, for an installation found missing.
  void MissingProgram(const SupervisedProgram& program);
  // The same for a value of the settings that cannot be used.
  void RefuseSetting(const BadSetting& bad);

  Platform p_;
  ClaimFreeBoxes boxes_;
  std::string AppVersion_;
  std::string programFolder_;
  // Read once at start, before the first existence test; the built-in values
  // until then.
  ProgramTable programs_ = BuiltInPrograms();
  std::string controlFile_ = kBuiltInControlFile;
  EventLog log_;
  SystemEvents events_;
  ProcessServices processes_;
  LaunchedPrograms launched_;
  TrayIcon tray_;
  MainWindow window_;
  SupervisionCycle cycle_;
  ProgramButtons buttons_;
  StartWait wait_{{p_, processes_, events_, window_, log_, cycle_, programs_}};
  ProgramStart start_{{p_, launched_, boxes_, events_, log_, cycle_, programs_, wait_}};
  bool ended_ = false;
};

}  // namespace pellux
