#pragma once
#include <cstdint>
#include <string>

#include "platform/tray_service.h"

namespace pellux {

// Copies text into the tip field left-aligned, cut after 64 characters, the
// rest filled with blanks.
void FillTip(char (&field)[kTipChars], const std::string& text);

// The tip of the normal state: "PelluxMONITOR - v" + version + NUL.
[[nodiscard]] std::string VersionTip(const std::string& appVersion);
inline const std::string kHoldingTip = std::string("PelluxMONITOR - Holding") + '\0';

// The monitor's one tray icon. TrayIconData is kept for the window's whole
// life and re-used by every call, so that the icon can be added again when
// the shell restarts.
class TrayIcon {
 public:
  explicit TrayIcon(TrayService& service) : service_(service) {}

  // Adds the icon with imgIcon(0) and tip for the hook window.
  void Add(std::uintptr_t hookWindow, const std::string& tip);
  // Sets picture ELICON (as a 16-bit integer) and tip ELTRAYMSG, then
  // modifies; when the modify fails the icon is added again. Either success
  // marks the icon as present.
  void CHANGE_TRAY_ICON(int ELICON, const std::string& ELTRAYMSG);
  // Deletes the icon and clears the window field.
  void Remove();
  // The shell came back: the icon is added again from the kept record.
  void OnTaskbarCreated();

  [[nodiscard]] bool Added() const { return added_; }
  [[nodiscard]] const TrayIconData& Data() const { return TrayIconData_; }

 private:
  TrayService& service_;
  TrayIconData TrayIconData_{};
  bool added_ = false;
};

}  // namespace pellux
