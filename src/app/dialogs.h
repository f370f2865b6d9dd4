#pragma once
#include <cstdint>
#include <string>

namespace pellux {

inline constexpr std::uint32_t kBoxPlain = 0;          // OK only, no icon
inline constexpr std::uint32_t kBoxAttention = 65552;  // error icon + foreground, OK only

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows a modal message box and waits until it is answered. Lines in text
  // are joined by single carriage returns.
  virtual void ShowBox(const std::string& text, const std::string& caption,
                       std::uint32_t style) = 0;
};

}  // namespace pellux
