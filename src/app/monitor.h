#pragma once
#include <string>

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

// Start-up's word while the other sessions' monitors and bridges cannot be seen.
inline constexpr char kOtherSessionsUnseenText[] =
    "PelluxMONITOR cannot see the other logon sessions: it launches nothing until it can";

// Every box the monitor shows: the workstation's claim to launch is given up
// first, as nobody may answer a box for days (a disconnected session) while
// the monitors of the other sessions wait on the claim.
class ClaimFreeBoxes final : public Dialogs {
 public:
  ClaimFreeBoxes(Dialogs& boxes, WorkstationClaim& claim) : boxes_(boxes), claim_(claim) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    claim_.Release();
    ++shown_;
    boxes_.ShowBox(text, caption, style);
  }
  // How many boxes were shown so far: one since a look means the claim was
  // given up after it.
  [[nodiscard]] std::uint64_t Shown() const { return shown_; }

 private:
  Dialogs& boxes_;
  WorkstationClaim& claim_;
  std::uint64_t shown_ = 0;
};

// The monitor as a whole: the start-up sequence, the window's events, the
// close request and the immediate end. It owns the log, the process
// services, the tray record, the window's behaviour, the cycle and the
// buttons; the operating system is reached only through Platform.
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
  // Returns the launch's result: the process id, 0 when it failed. The
  // process is recorded before anything waits for a user.
  std::uint32_t LaunchAtStart(const SupervisedProgram& program);
  // A program an earlier monitor of the session launched, still running as
  // processId: its button green and its still-running line instead of a launch.
  void AdoptAtStart(const SupervisedProgram& program, std::int32_t processId);
  // Launches or adopts the bridge, then the controller (each adopted when an
  // earlier monitor of this session launched it and it still runs), or
  // leaves them to another session's monitor; after a box the workstation is
  // looked at again first. While the other sessions cannot be seen, neither
  // yet: each Timer1 tick looks again first.
  void StartPrograms();
  // True when start-up must launch neither program: one runs in another
  // logon session, or another session's monitor holds the claim to launch.
  // The buttons, the strip, the log and one event then say so. True also,
  // with startUnseen_, while the other sessions cannot be seen.
  bool OtherSessionAtStart();
  void ShowWaiting(const std::string& text);
  // Waits as a second monitor does, or, while the other sessions cannot be
  // seen, says so once.
  void WaitAtStart(bool unseenBefore);
  void StartBridge(const LaunchedSet& earlier);
  void StartController(const LaunchedSet& earlier);
  // After a restart in a session whose monitor launched the controller: any
  // running javaw.exe of the session, which is then recorded; none otherwise.
  RecordedProcess AnyControllerAfterRestart();
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
  bool ended_ = false;
  bool startUnseen_ = false;
};

}  // namespace pellux
