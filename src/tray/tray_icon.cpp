#include "tray/tray_icon.h"

#include <algorithm>
#include <cstdint>

namespace pellux {

void FillTip(char (&field)[kTipChars], const std::string& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), kTipChars);
  std::fill(std::begin(field), std::end(field), ' ');
  std::copy_n(text.begin(), n, field);
}

std::string VersionTip(const std::string& appVersion) { return "PelluxMONITOR - v" + appVersion + '\0'; }

void TrayIcon::Add(std::uintptr_t hookWindow, const std::string& tip) {
  TrayIconData_.cbSize = service_.RecordSize();
  TrayIconData_.hWnd = hookWindow;
  TrayIconData_.uID = kTrayIconId;
  TrayIconData_.uFlags = kTrayFlags;
  TrayIconData_.uCallbackMessage = kTrayCallbackMessage;
  TrayIconData_.hIcon = service_.Picture(0);
  FillTip(TrayIconData_.szTip, tip);
  added_ = service_.Notify(TrayCommand::Add, TrayIconData_);
}

void TrayIcon::CHANGE_TRAY_ICON(int ELICON, const std::string& ELTRAYMSG) {
  TrayIconData_.hIcon = service_.Picture(static_cast<std::int16_t>(ELICON));
  FillTip(TrayIconData_.szTip, ELTRAYMSG);
  if (service_.Notify(TrayCommand::Modify, TrayIconData_)) {
    // The icon stands, whatever its add reported: an add that timed out on a
    // busy shell may still have put it there, and every end must remove it.
    added_ = true;
    return;
  }
  // The shell lost the icon (explorer restarted while no message reached us,
  // or the add itself failed): put it back from the kept record.
  if (TrayIconData_.hWnd != 0 && service_.Notify(TrayCommand::Add, TrayIconData_)) added_ = true;
}

void TrayIcon::Remove() {
  TrayIconData_.cbSize = service_.RecordSize();
  TrayIconData_.uID = kTrayIconId;
  (void)service_.Notify(TrayCommand::Delete, TrayIconData_);  // the result changes nothing
  TrayIconData_.hWnd = 0;
  added_ = false;
}

void TrayIcon::OnTaskbarCreated() {
  if (TrayIconData_.hWnd == 0) return;  // not added yet, or already removed
  // The message can also come while the icon still stands; that add then
  // fails as a duplicate, and the icon is still there to be removed later.
  if (service_.Notify(TrayCommand::Add, TrayIconData_)) added_ = true;
}

}  // namespace pellux
