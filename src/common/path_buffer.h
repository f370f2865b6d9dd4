#pragma once
#include <cstdint>

namespace pellux {

// A path query that filled its buffer to the last character may have cut the
// path (the system gives no other sign): grow the buffer and ask again, up to
// the longest path there is.
inline constexpr std::uint32_t kShortPathChars = 260;
inline constexpr std::uint32_t kLongestPath = 32768;
[[nodiscard]] constexpr bool PathMayBeCut(std::uint32_t copied, std::uint32_t capacity) {
  return copied >= capacity && capacity < kLongestPath;
}

}  // namespace pellux
