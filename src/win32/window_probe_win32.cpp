#include "win32/window_probe_win32.h"

#include <windows.h>

#include <vector>

namespace pellux::win32 {
namespace {

struct Listing {
  DWORD processId;
  std::vector<TopLevelWindow>* windows;
};

BOOL CALLBACK ListWindow(HWND window, LPARAM context) {
  auto& listing = *reinterpret_cast<Listing*>(context);
  DWORD owner = 0;
  if (::GetWindowThreadProcessId(window, &owner) == 0 || owner != listing.processId) return TRUE;
  // Hidden ones too: a window that stops answering for about five seconds
  // may be hidden by the window manager behind a ghost of its own (owned by
  // another process), and the hung window is still the bridge's. Which
  // hidden windows count is the cycle's to say.
  try {
    listing.windows->push_back({reinterpret_cast<std::uintptr_t>(window), ::IsWindowVisible(window) != FALSE,
                                ::IsHungAppWindow(window) == FALSE});
  } catch (...) {
    return FALSE;  // no memory: what was listed so far stands
  }
  return TRUE;
}

}  // namespace

void Win32WindowProbe::Look(std::int32_t processId, std::vector<TopLevelWindow>& windows) {
  windows.clear();
  Listing listing{static_cast<DWORD>(processId), &windows};
  // A failed enumeration lists what it saw: no window, when it saw none,
  // and a bridge without a window is never judged.
  (void)::EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&listing));
}

}  // namespace pellux::win32
