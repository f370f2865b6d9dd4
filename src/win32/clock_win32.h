#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/clock.h"

namespace pellux::win32 {

class Win32Clock final : public Clock {
 public:
  [[nodiscard]] LocalTime Now() override;
  [[nodiscard]] std::uint64_t Milliseconds() override;
};

}  // namespace pellux::win32
