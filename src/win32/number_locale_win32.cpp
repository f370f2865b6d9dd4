#include "win32/number_locale_win32.h"

#include "win32/utf_conversion.h"

namespace pellux::win32 {

std::string Win32NumberLocale::DecimalSeparator() {
  wchar_t buffer[8] = {};  // LOCALE_SDECIMAL holds at most 4 characters
  const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
  if (length <= 1) return ".";  // unreadable settings: the invariant separator
  // UTF-8, as the port field's text it is compared with.
  return WideToUtf8(std::wstring(buffer, static_cast<std::size_t>(length - 1)));
}

}  // namespace pellux::win32
