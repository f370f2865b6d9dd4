#pragma once
#include <cstdint>
#include <string>

namespace pellux {

// OK only, no icon, and in front of every other window: the monitor starts
// at logon without the right to come to the front, and a box that waits
// behind other windows holds up the start-up (and the controller's launch).
// Foreground (0x10000) and topmost (0x40000) change nothing in its looks.
inline constexpr std::uint32_t kBoxPlain = 0x00010000 | 0x00040000;
inline constexpr std::uint32_t kBoxAttention = 65552;  // error icon + foreground, OK only

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows a modal message box and waits until it is answered. Lines in text
  // are joined by single carriage returns.
  virtual void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;
};

}  // namespace pellux
