#pragma once
// The file version as the monitor shows it. No platform header, so that it
// is checked natively.
#include <cstdint>
#include <string>

namespace pellux::win32 {

// "a.b.c.d" from the two 32-bit halves of a fixed file version.
[[nodiscard]] inline std::string VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
  return std::to_string(mostSignificant >> 16) + '.' + std::to_string(mostSignificant & 0xFFFF) + '.' +
         std::to_string(leastSignificant >> 16) + '.' + std::to_string(leastSignificant & 0xFFFF);
}

}  // namespace pellux::win32
