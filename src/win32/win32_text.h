#pragma once
// Text rules of the Win32 adapters that need no platform header, so that
// they can be checked natively.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pellux::win32 {

// The command line for CreateProcess: the path in double quotes, so that a
// path with blanks is never read as "C:\Program" with arguments.
[[nodiscard]] inline std::string QuotedCommandLine(const std::string& path) {
  return '"' + path + '"';
}

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

struct ModulePathParts {
  std::string folder;    // without a trailing backslash
  std::string baseName;  // file name without its extension
};

// Splits "C:\dir\Name.exe" into "C:\dir" and "Name".
[[nodiscard]] inline ModulePathParts SplitModulePath(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  ModulePathParts parts;
  std::string file = path;
  if (slash != std::string::npos) {
    parts.folder = path.substr(0, slash);
    file = path.substr(slash + 1);
  }
  const std::size_t dot = file.find_last_of('.');
  parts.baseName = dot == std::string::npos ? file : file.substr(0, dot);
  return parts;
}

// A module-path query that filled its buffer to the last character may have
// cut the path: grow the buffer and ask again, up to the longest path there is.
inline constexpr std::uint32_t kLongestPath = 32768;
[[nodiscard]] constexpr bool PathMayBeCut(std::uint32_t copied, std::uint32_t capacity) {
  return copied >= capacity && capacity < kLongestPath;
}

// "a.b.c.d" from the two 32-bit halves of a fixed file version.
[[nodiscard]] inline std::string VersionText(std::uint32_t mostSignificant,
                                             std::uint32_t leastSignificant) {
  return std::to_string(mostSignificant >> 16) + '.' + std::to_string(mostSignificant & 0xFFFF) +
         '.' + std::to_string(leastSignificant >> 16) + '.' + std::to_string(leastSignificant & 0xFFFF);
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
