#include "win32/clock_win32.h"

namespace pellux::win32 {

LocalTime Win32Clock::Now() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::uint64_t Win32Clock::Milliseconds() { return ::GetTickCount64(); }

}  // namespace pellux::win32
