#include "win32/lifetime_win32.h"

namespace pellux::win32 {

void Win32Lifetime::EndNow() { ::ExitProcess(0); }

}  // namespace pellux::win32
