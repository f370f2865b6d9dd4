#include "ui/main_window.h"

#include "ui/layout.h"

namespace pellux {

bool MainWindow::Load(const std::string& tip) {
  if (!controls_.Create()) return false;
  controls_.SetOuterHeightTwips(kOuterHeightTwips);
  controls_.SetPictureSizeTwips(kImage1Rect.width, kImage1Rect.height);
  tray_.Add(controls_.HookWindow(), tip);
  controls_.Hide();
  return true;
}

void MainWindow::ShowStatusMessage(const std::string& text, Colour back, Colour fore) {
  controls_.SetStripColours(back, fore);
  controls_.SetStripText(text);
  controls_.SetPictureVisible(false);
  controls_.SetStripVisible(true);
  // Arming the running timer again restarts the countdown: the strip stays
  // 5 seconds after the latest message.
  (void)timers_.Arm(TimerId::Timer3, kStatusMessageMs);  // without it the strip stays up
}

void MainWindow::Timer3() {
  timers_.Disarm(TimerId::Timer3);
  controls_.SetStripVisible(false);
  controls_.SetPictureVisible(true);
  controls_.SetStripText("");  // the colours stay, unseen until the next message
}

}  // namespace pellux
