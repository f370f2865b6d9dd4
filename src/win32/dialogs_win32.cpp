#include "win32/dialogs_win32.h"

#include "win32/utf_conversion.h"

namespace pellux::win32 {

void Win32Dialogs::ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  // The wide call: a folder named in a box may lie outside the ANSI code page.
  (void)::MessageBoxW(owner_ ? owner_() : nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
                      style);  // OK only
}

}  // namespace pellux::win32
