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
  // The session is really ending (a shutdown or a log-off that went ahead):
  // the same close request. A shutdown that was only asked about, or then
  // cancelled, never comes here.
  virtual void OnSessionEnd() = 0;
  // The shell's taskbar was created again (explorer restarted).
  virtual void OnTaskbarCreated() = 0;
};

}  // namespace pellux
