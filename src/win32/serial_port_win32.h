#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/serial_port.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// Stands where the comm control stood: it keeps the port number and closes
// the port when asked. Nothing in the program ever opens it.
class Win32SerialPort final : public SerialPort {
 public:
  void SetCommPort(std::int16_t port) override { port_ = port; }
  void SetPortOpen(bool open) override;
  [[nodiscard]] std::int16_t CommPort() const { return port_; }

 private:
  std::int16_t port_ = 1;  // the comm control's default
  UniqueFile handle_;
};

}  // namespace pellux::win32
