#include "win32/dialogs_win32.h"

namespace pellux::win32 {

void Win32Dialogs::ShowBox(const std::string& text, const std::string& caption,
                           std::uint32_t style) {
  (void)::MessageBoxA(owner_ ? owner_() : nullptr, text.c_str(), caption.c_str(), style);  // OK only
}

}  // namespace pellux::win32
