#pragma once
#include <cstdint>

namespace pellux {

// The serial port closed by the controller's stop. Nothing ever opens it.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual void SetCommPort(std::int16_t port) = 0;
  // Closing a port that is not open does nothing.
  virtual void SetPortOpen(bool open) = 0;
};

}  // namespace pellux
