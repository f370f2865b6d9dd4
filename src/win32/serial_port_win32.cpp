#include "win32/serial_port_win32.h"

namespace pellux::win32 {

void Win32SerialPort::SetPortOpen(bool open) {
  // Only closing is ever asked for; closing a port that is not open does nothing.
  if (!open) handle_.reset();
}

}  // namespace pellux::win32
