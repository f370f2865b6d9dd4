#include "win32/lifetime_win32.h"

namespace pellux::win32 {

void Win32Lifetime::EndNow(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace pellux::win32
