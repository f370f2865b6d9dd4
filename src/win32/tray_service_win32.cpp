#include "win32/tray_service_win32.h"

#include <shellapi.h>

#include "win32/display_text.h"
#include "win32/resource_ids.h"
#include "win32/resources_win32.h"

namespace pellux::win32 {
namespace {

static_assert(sizeof(NOTIFYICONDATAA{}.szTip) >= kTipChars, "the tip field holds 64 characters");

DWORD ShellCommand(TrayCommand command) {
  switch (command) {
    case TrayCommand::Add:
      return NIM_ADD;
    case TrayCommand::Modify:
      return NIM_MODIFY;
    case TrayCommand::Delete:
      return NIM_DELETE;
  }
  return NIM_MODIFY;
}

}  // namespace

Win32TrayService::Win32TrayService(HINSTANCE instance) {
  // The pictures are 32 by 32; the shell shows them at its small-icon size.
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  for (int i = 0; i < kTrayPictureCount; ++i) {
    pictures_[static_cast<std::size_t>(i)] = LoadIconResource(instance, IDI_IMGICON0 + i, size);
  }
}

std::uint32_t Win32TrayService::RecordSize() {
  // The record's first form; 88 bytes in a 32-bit program, more here because
  // the window and icon handles are 64-bit.
  return NOTIFYICONDATAA_V1_SIZE;
}

std::uintptr_t Win32TrayService::Picture(int index) {
  if (index < 0 || index >= kTrayPictureCount) return 0;
  return reinterpret_cast<std::uintptr_t>(pictures_[static_cast<std::size_t>(index)].get());
}

bool Win32TrayService::Notify(TrayCommand command, const TrayIconData& data) {
  NOTIFYICONDATAA record{};
  record.cbSize = data.cbSize;
  record.hWnd = reinterpret_cast<HWND>(data.hWnd);
  record.uID = data.uID;
  record.uFlags = data.uFlags;
  record.uCallbackMessage = data.uCallbackMessage;
  record.hIcon = reinterpret_cast<HICON>(data.hIcon);
  CopyTipField(data.szTip, record.szTip, kTipChars);
  return ::Shell_NotifyIconA(ShellCommand(command), &record) != FALSE;
}

}  // namespace pellux::win32
