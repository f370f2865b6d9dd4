#pragma once
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

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

// True when text ends with name, compared upper-cased: how a process name is
// recognised at the end of an executable's path or file name.
[[nodiscard]] inline bool NameEndsWith(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  const std::string_view tail = text.substr(text.size() - name.size());
  for (std::size_t i = 0; i < name.size(); ++i)
    if (Upper(tail[i]) != Upper(name[i])) return false;
  return true;
}

}  // namespace pellux
