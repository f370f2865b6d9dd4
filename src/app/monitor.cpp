#include "app/monitor.h"

#include "app/missing_program.h"

#include "ui/port_field.h"

namespace pellux {

Monitor::Monitor(const Platform& platform)
    : p_(platform),
      boxes_(p_.dialogs, p_.claim),
      log_(p_.files, p_.clock),
      events_(p_.events, p_.clock, programs_),
      processes_(p_.processes, log_),
      launched_(p_.processes, p_.launchRecord, &processes_.Controller()),
      tray_(p_.tray),
      window_(p_.controls, p_.timers, tray_),
      cycle_({p_.timers,
              p_.clock,
              log_,
              events_,
              processes_,
              p_.launcher,
              window_,
              p_.files,
              programFolder_,
              AppVersion_,
              programs_,
              controlFile_,
              [this] { ImmediateEnd(EndCause::ControlFileEnd); },
              &launched_,
              [this] { WindowFailed("Timer1"); },
              [this] { p_.claim.Release(); },
              [this] { return p_.claim.TakenElsewhere(); },
              &p_.windows,
              &p_.mark,
              p_.ends}),
      buttons_({log_, events_, processes_, p_.files, boxes_, window_, p_.serial, programs_,
                [this](const SupervisedProgram& program) { MissingProgram(program); },
                [this](SessionId session) { return p_.mark.HeldIn(session); }}) {
  processes_.OnSnapshot([this](bool had) { events_.Snapshot(had); });
  processes_.Controller().OnUndecided([this](const std::string& text, const std::string& path, std::int32_t id) {
    events_.ControllerUndecided(text, path, id);
  });
}

void Monitor::Start() {
  programFolder_ = p_.system.ProgramFolder();
  // The version is read from the running executable's own name, so a copy
  // under another name reports its own version.
  AppVersion_ = p_.system.FileVersion(programFolder_ + "\\" + p_.system.ProgramBaseName() + ".exe");
  if (AppVersion_.empty()) AppVersion_ = "0.0.0.0";

  const Settings settings = ReadSettings(p_.settings);
  programs_ = settings.programs;
  controlFile_ = settings.controlFile;
  cycle_.WatchBridgeWindows(settings.bridgeHungSeconds);
  processes_.Controller().Set(programs_.controller.runningCheckName, programs_.controller.stopName,
                              settings.controllerMatch);

  log_.SetLimitKB(settings.logLimitKB);
  // A bad LogFile leaves the log off: the one beside the monitor is not what was asked for.
  if (!settings.logOff) {
    log_.InitLog(settings.logFile.empty() ? LogFileBeside(programFolder_) : settings.logFile);
  }
  log_.WriteLogLine(kStartedText);
  for (const SetValue& value : settings.set) log_.WriteLogLine(SetValueLogText(value));
  events_.Started(AppVersion_, programFolder_, log_.IsOn(), SourcesText(settings));
  // A diagnosis feature's bad value never stops supervision, and no box waits
  // for a user who may not be there: the event and the log say it.
  for (const BadSetting& off : settings.turnedOff) {
    const std::string text = BadSettingLogText(off);
    events_.SettingTurnedOff(text, off.name, KeyText(off.source), off.reason);
    log_.WriteLogLine(text);
  }
  if (settings.bad) {
    RefuseSetting(*settings.bad);
    return;
  }

  // The event goes out before the boxes, which may wait long for a user.
  const SupervisedProgram& bridge = programs_.bridge;
  if (!IsInstalled(p_.files, bridge)) {
    events_.ProgramMissing(bridge);
    MissingProgram(bridge);
    return;
  }

  if (!window_.Load(VersionTip(AppVersion_))) {
    WindowFailed("main window");
    return;
  }

  const SupervisedProgram& controller = programs_.controller;
  if (!IsInstalled(p_.files, controller)) {
    events_.ProgramMissing(controller);
    MissingProgram(controller);
    return;
  }

  p_.controls.Show();
  if (p_.controls.PortVisible()) p_.controls.FocusPort();

  start_.StartPrograms();

  if (!p_.timers.Arm(TimerId::Timer1, kFirstCycleDelayMs)) WindowFailed("Timer1");
}

void Monitor::WindowFailed(const std::string& what) {
  // The end must come even when the report cannot be made.
  try {
    events_.WindowFailed(what);
  } catch (...) {
  }
  ImmediateEnd(EndCause::NoWindow, kExitNoWindow);
}

void Monitor::MissingProgram(const SupervisedProgram& program) {
  MissingExecutableExit(program, boxes_, log_, [this] { ImmediateEnd(EndCause::MissingProgram); });
}

// Nothing starts with a value that cannot be used: not even the window, so
// the box stands alone, as for a missing bridge.
void Monitor::RefuseSetting(const BadSetting& bad) {
  const std::string text = BadSettingLogText(bad);
  events_.SettingRefused(text, bad.name, KeyText(bad.source), bad.reason);
  boxes_.ShowBox(BadSettingBoxText(bad), kAppTitle, kBoxPlain);
  log_.WriteLogLine(text);
  boxes_.ShowBox(kFarewellText, kAppTitle, kBoxPlain);
  ImmediateEnd(EndCause::BadSetting);
}

void Monitor::OnTimer(TimerId timer) {
  if (ended_) return;
  switch (timer) {
    case TimerId::Timer1:
      if (wait_.Unseen()) start_.StartPrograms();
      cycle_.Timer1();
      break;
    case TimerId::Timer3:
      window_.Timer3();
      break;
  }
}

void Monitor::OnProgramButtonClick(ProgramButton button) {
  if (ended_) return;
  // A program the operator stops stays stopped until the next regular cycle, as before.
  cycle_.ForgetEnds();
  if (button == ProgramButton::CBPellux) {
    buttons_.CBPellux_Click();
  } else {
    buttons_.CBLINTARO_Click();
  }
}

bool Monitor::OnPortFieldLostFocus() {
  if (ended_) return true;
  return TBPort_LostFocus(p_.controls, boxes_, p_.locale);
}

void Monitor::OnCloseRequest() { Close(EndCause::CloseRequest); }

void Monitor::OnSessionEnding() {
  if (ended_) return;
  cycle_.SessionEnding();
}

void Monitor::OnSessionEndCancelled() {
  if (ended_) return;
  cycle_.SessionGoesOn();
}

void Monitor::OnSessionEnd() { Close(EndCause::SessionEnd); }

void Monitor::OnClosedForUpdate() { Close(EndCause::ClosedByInstaller); }

void Monitor::Close(EndCause cause) {
  if (ended_) return;
  tray_.Remove();
  ImmediateEnd(cause);
}

void Monitor::OnTaskbarCreated() {
  if (ended_) return;
  tray_.OnTaskbarCreated();
}

void Monitor::OnSupervisedProgramEnded() {
  if (ended_) return;
  cycle_.ProgramEnded();
}

void Monitor::ImmediateEnd(EndCause cause, int exitCode) {
  if (ended_) return;
  ended_ = true;
  // First of all, so that a monitor started while this one ends (by Windows
  // Error Reporting, an installer) runs, and a monitor of another session may
  // launch even while the end waits on a share or the shell (END during the
  // launch, before the claim was given up); and a look the network holds is
  // cancelled, so that no thread of ours outlives the end for long.
  p_.lifetime.LeaveSession();
  p_.claim.Release();
  p_.mark.Drop();
  cycle_.CancelLooks();
  // Nothing may keep the end from happening: a report that failed (no
  // memory for its text) would leave a monitor that supervises nothing.
  try {
    events_.Ended(cause);
  } catch (...) {
  }
  // What the cycle gathered so far is written; a log on a share that hangs
  // is waited for only briefly.
  try {
    log_.Finish();
  } catch (...) {
  }
  // An icon left behind would stay in the tray as a ghost until the mouse
  // passes over it, so one that was added is removed first.
  if (tray_.Added()) tray_.Remove();
  p_.lifetime.EndNow(exitCode);
}

}  // namespace pellux
