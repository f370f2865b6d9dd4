#include "app/monitor.h"

#include "app/missing_program.h"

#include "ui/port_field.h"

namespace pellux {

Monitor::Monitor(const Platform& platform)
    : p_(platform),
      log_(p_.files, p_.clock),
      events_(p_.events, p_.clock),
      processes_(p_.processes, log_),
      tray_(p_.tray),
      window_(p_.controls, p_.timers, tray_),
      cycle_({p_.timers, log_, events_, processes_, p_.launcher, window_, p_.files,
              programFolder_, AppVersion_, [this] { ImmediateEnd(EndCause::ControlFileEnd); }}),
      buttons_({log_, events_, processes_, p_.files, p_.dialogs, window_, p_.serial,
                [this](const SupervisedProgram& program) { MissingProgram(program); }}) {}

void Monitor::Start() {
  programFolder_ = p_.system.ProgramFolder();
  // The version is read from the running executable's own name, so a copy
  // under another name reports its own version.
  AppVersion_ = p_.system.FileVersion(programFolder_ + "\\" + p_.system.ProgramBaseName() + ".exe");
  if (AppVersion_.empty()) AppVersion_ = "0.0.0.0";

  log_.InitLog(programFolder_);
  log_.WriteLogLine(kStartedText);
  events_.Started(AppVersion_, programFolder_, log_.IsOn());

  // The event goes out before the boxes, which may wait long for a user.
  if (!IsInstalled(p_.files, kBridge)) {
    events_.ProgramMissing(kBridge);
    MissingProgram(kBridge);
    return;
  }

  window_.Load(VersionTip(AppVersion_));

  if (!IsInstalled(p_.files, kController)) {
    events_.ProgramMissing(kController);
    MissingProgram(kController);
    return;
  }

  p_.controls.Show();
  if (p_.controls.PortVisible()) p_.controls.FocusPort();

  LaunchAtStart(kBridge);
  LaunchAtStart(kController);

  p_.timers.Arm(TimerId::Timer1, kFirstCycleDelayMs);
}

void Monitor::MissingProgram(const SupervisedProgram& program) {
  MissingExecutableExit(program, p_.dialogs, log_,
                        [this] { ImmediateEnd(EndCause::MissingProgram); });
}

void Monitor::LaunchAtStart(const SupervisedProgram& program) {
  const std::uint32_t result = Launch(p_.launcher, program);
  events_.LaunchedAtStart(program, result);  // before the box, which waits for a user
  if (result == 0) {
    p_.dialogs.ShowBox(program.notStarted, kAppTitle, kBoxPlain);
    p_.controls.SetButtonColour(program.button, kRed);
  } else {
    p_.controls.SetButtonColour(program.button, kGreen);
  }
  log_.WriteLogLine(LaunchLogLine(program, result));
}

void Monitor::OnTimer(TimerId timer) {
  if (ended_) return;
  switch (timer) {
    case TimerId::Timer1:
      cycle_.Timer1();
      break;
    case TimerId::Timer3:
      window_.Timer3();
      break;
  }
}

void Monitor::OnProgramButtonClick(ProgramButton button) {
  if (ended_) return;
  if (button == ProgramButton::CBPellux) {
    buttons_.CBPellux_Click();
  } else {
    buttons_.CBLINTARO_Click();
  }
}

bool Monitor::OnPortFieldLostFocus() {
  if (ended_) return true;
  return TBPort_LostFocus(p_.controls, p_.dialogs, p_.locale);
}

void Monitor::OnCloseRequest() { Close(EndCause::CloseRequest); }

void Monitor::OnSessionEnd() { Close(EndCause::SessionEnd); }

void Monitor::Close(EndCause cause) {
  if (ended_) return;
  tray_.Remove();
  ImmediateEnd(cause);
}

void Monitor::OnTaskbarCreated() {
  if (ended_) return;
  tray_.OnTaskbarCreated();
}

void Monitor::ImmediateEnd(EndCause cause) {
  if (ended_) return;
  ended_ = true;
  // Nothing may keep the end from happening: a report that failed (no
  // memory for its text) would leave a monitor that supervises nothing.
  try {
    events_.Ended(cause);
  } catch (...) {
  }
  // An icon left behind would stay in the tray as a ghost until the mouse
  // passes over it, so one that was added is removed first.
  if (tray_.Added()) tray_.Remove();
  p_.lifetime.EndNow();
}

}  // namespace pellux
