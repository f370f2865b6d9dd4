#pragma once
#include <cctype>
#include <string>

namespace pellux {

// Upper case by the C locale, as the program names and the control file's
// commands are compared: ASCII letters only, every other byte as it is.
[[nodiscard]] inline char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

[[nodiscard]] inline std::string Upper(std::string text) {
  for (char& c : text) c = Upper(c);
  return text;
}

}  // namespace pellux
