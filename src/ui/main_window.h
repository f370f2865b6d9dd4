#pragma once
#include <string>

#include "common/colours.h"
#include "platform/timers.h"
#include "platform/window_controls.h"
#include "tray/tray_icon.h"

namespace pellux {

// The behaviour of FrmMAIN: its load steps, the timed message strip and the
// public tray operation. The elements themselves are WindowControls'.
class MainWindow {
 public:
  MainWindow(WindowControls& controls, Timers& timers, TrayIcon& tray)
      : controls_(controls), timers_(timers), tray_(tray) {}

  // Creates the window hidden and runs its load steps: outer height, picture
  // size, the tray icon added with imgIcon(0) and tip, hidden. False, with
  // nothing else done, when the window could not be made.
  [[nodiscard]] bool Load(const std::string& tip);

  // Shows text (lines joined by CR) on the strip in place of the picture for
  // 5 seconds. A later message replaces the one that is up and starts the 5
  // seconds again, so the strip stays 5 seconds after the latest message.
  void ShowStatusMessage(const std::string& text, Colour back, Colour fore);

  // The message timeout: the picture comes back and the strip's text is emptied.
  void Timer3();

  void CHANGE_TRAY_ICON(int ELICON, const std::string& ELTRAYMSG) { tray_.CHANGE_TRAY_ICON(ELICON, ELTRAYMSG); }

  [[nodiscard]] WindowControls& Controls() { return controls_; }
  [[nodiscard]] TrayIcon& Tray() { return tray_; }

 private:
  WindowControls& controls_;
  Timers& timers_;
  TrayIcon& tray_;
};

}  // namespace pellux
