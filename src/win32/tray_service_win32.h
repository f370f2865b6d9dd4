#pragma once
#include <windows.h>

#include <array>

#include "platform/tray_service.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// The shell's notification-icon service and the five tray pictures
// imgIcon(0) .. imgIcon(4), loaded once and owned for the whole run.
class Win32TrayService final : public TrayService {
 public:
  explicit Win32TrayService(HINSTANCE instance);

  [[nodiscard]] std::uint32_t RecordSize() override;
  [[nodiscard]] std::uintptr_t Picture(int index) override;
  bool Notify(TrayCommand command, const TrayIconData& data) override;

 private:
  std::array<UniqueIcon, kTrayPictureCount> pictures_;
};

}  // namespace pellux::win32
