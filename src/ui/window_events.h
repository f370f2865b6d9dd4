#pragma once
#include "platform/timers.h"
#include "programs/programs.h"

namespace pellux {

// What the window system tells the monitor, already translated from window
// messages. The Win32 window procedure calls these and nothing else.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void OnTimer(TimerId timer) = 0;
  virtual void OnProgramButtonClick(ProgramButton button) = 0;
  // The port field lost the focus and the focus change is complete. False
  // when the text was rejected (the box was shown and the focus is back in
  // the field), so that a click that took the focus away is cancelled.
  [[nodiscard]] virtual bool OnPortFieldLostFocus() = 0;
  // The user closed the window. Never refused.
  virtual void OnCloseRequest() = 0;
  // The system asks whether the session may end (a shutdown, a log-off, or
  // an installer closing the monitor to replace it). Always yes; the answer
  // comes later through OnSessionEnd or OnSessionEndCancelled.
  virtual void OnSessionEnding() = 0;
  // The shutdown or log-off asked about was cancelled.
  virtual void OnSessionEndCancelled() = 0;
  // The session is really ending (a shutdown or a log-off that went ahead):
  // the same close request.
  virtual void OnSessionEnd() = 0;
  // The monitor alone is closed so that its files can be replaced (Restart
  // Manager, an installer): the same close request, with its own cause.
  virtual void OnClosedForUpdate() = 0;
  // The shell's taskbar was created again (explorer restarted).
  virtual void OnTaskbarCreated() = 0;
  // A supervised program whose end was watched for has ended.
  virtual void OnSupervisedProgramEnded() {}
};

}  // namespace pellux
