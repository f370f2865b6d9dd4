#include "win32/window_probe_win32.h"

#include <windows.h>

namespace pellux::win32 {
namespace {

struct Counting {
  DWORD processId;
  WindowAnswers answers;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM context) {
  auto& counting = *reinterpret_cast<Counting*>(context);
  DWORD owner = 0;
  // Hidden windows (the input method's, a helper's on a thread that blocks
  // by design) say nothing about whether the bridge answers its user.
  if (::GetWindowThreadProcessId(window, &owner) == 0 || owner != counting.processId || !::IsWindowVisible(window))
    return TRUE;
  ++counting.answers.windows;
  if (!::IsHungAppWindow(window)) ++counting.answers.answering;
  return TRUE;
}

}  // namespace

WindowAnswers Win32WindowProbe::Look(std::int32_t processId) {
  Counting counting{static_cast<DWORD>(processId), {}};
  // A failed enumeration counts what it saw: no window, when it saw none,
  // and a bridge without a window is never judged.
  (void)::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&counting));
  return counting.answers;
}

}  // namespace pellux::win32
