#include "win32/supervision_mark_win32.h"

#include <windows.h>

#include <utility>

namespace pellux::win32 {
namespace {

std::wstring MarkName(SessionId session) { return L"Global\\PelluxMONITOR.Supervising." + std::to_wstring(session); }

}  // namespace

bool Win32SupervisionMark::Hold() {
  if (held_) return true;
  held_.reset(::CreateMutexW(nullptr, FALSE, MarkName(ownSession_).c_str()));
  return static_cast<bool>(held_);
}

void Win32SupervisionMark::Drop() { held_.reset(); }

bool Win32SupervisionMark::HeldIn(SessionId session) {
  const UniqueHandle mark(::OpenMutexW(SYNCHRONIZE, FALSE, MarkName(session).c_str()));
  // Made by another user's monitor: its access list grants this user
  // nothing, and the open is refused; it is held all the same.
  return mark || ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace pellux::win32
