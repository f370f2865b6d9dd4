#include "win32/lifetime_win32.h"

namespace pellux::win32 {

void Win32Lifetime::EndNow(int exitCode) {
  LeaveSession();
  ::ExitProcess(static_cast<UINT>(exitCode));
}

// Closed by hand: at the process's end Windows closes its handles only once
// its last thread has left the kernel, and a look the network holds could
// keep the mark alive well past the end.
void Win32Lifetime::LeaveSession() { mark_.reset(); }

}  // namespace pellux::win32
