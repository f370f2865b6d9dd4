#include "win32/number_locale_win32.h"

namespace pellux::win32 {

std::string Win32NumberLocale::DecimalSeparator() {
  char buffer[8] = {};  // LOCALE_SDECIMAL holds at most 4 characters
  const int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof(buffer));
  if (length <= 1) return ".";  // unreadable settings: the invariant separator
  return std::string(buffer, static_cast<std::size_t>(length - 1));
}

}  // namespace pellux::win32
