#pragma once
// A core text in the form the system's display calls take it: the strip's
// DrawText and the tray icon's fixed tip field. No platform header, so that
// they are checked natively.
#include <cstddef>
#include <string>

namespace pellux::win32 {

// The strip keeps CR alone as its line break; DrawText breaks a line only at
// CR LF, so a lone CR gets its LF for drawing.
[[nodiscard]] inline std::string LoneCrToCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) out += '\n';
  }
  return out;
}

// Copies a fixed-width tip field whole. When no NUL is among its bytes the
// last one becomes NUL, so the shell never reads past the field.
inline void CopyTipField(const char* source, char* target, std::size_t width) {
  bool terminated = false;
  for (std::size_t i = 0; i < width; ++i) {
    target[i] = source[i];
    terminated = terminated || source[i] == '\0';
  }
  if (!terminated && width > 0) target[width - 1] = '\0';
}

}  // namespace pellux::win32
