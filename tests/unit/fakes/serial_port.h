#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace pellux::fakes {

class FakeSerialPort final : public SerialPort {
 public:
  void SetCommPort(std::int16_t port) override { calls.push_back("port " + std::to_string(port)); }
  void SetPortOpen(bool open) override { calls.push_back(open ? "open" : "close"); }
  std::vector<std::string> calls;
};

}  // namespace pellux::fakes
