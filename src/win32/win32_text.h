#pragma once
// Text rules of the Win32 adapters that need no platform header, so that
// they can be checked natively.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/path_buffer.h"

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

// The wide file calls take a path of 260 characters or more only in its
// extended-length form (\\?\C:\..., \\?\UNC\server\...) unless the system
// allows long paths to every program; a shorter or relative path is left as it is.
[[nodiscard]] inline std::string ExtendedLengthPath(const std::string& path) {
  if (path.size() < 260 || path.rfind("\\\\?\\", 0) == 0) return path;
  if (path.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return "\\\\?\\" + path;
  return path;
}

// "a.b.c.d" from the two 32-bit halves of a fixed file version.
[[nodiscard]] inline std::string VersionText(std::uint32_t mostSignificant,
                                             std::uint32_t leastSignificant) {
  return std::to_string(mostSignificant >> 16) + '.' + std::to_string(mostSignificant & 0xFFFF) +
         '.' + std::to_string(leastSignificant >> 16) + '.' + std::to_string(leastSignificant & 0xFFFF);
}

// Paths of the monitor's own files travel through the core as UTF-8, so that
// a folder outside the ANSI code page (C:\Мониторинг) survives; the file
// calls take them as UTF-16. A lone surrogate, which a Windows file name may
// hold, is carried as its own three bytes (WTF-8), so every name goes both
// ways unchanged.
[[nodiscard]] inline std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The reverse; a byte that starts no well-formed sequence becomes U+FFFD.
[[nodiscard]] inline std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                  ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    std::uint32_t c = length == 1 ? lead : lead & (0xFFu >> (length + 1));
    bool good = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; good && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      good = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    good = good && c >= least[length] && c <= 0x10FFFF;
    if (!good) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return out;
}

// The full path of a system library in the system folder. Empty when the
// folder is not an absolute path, so that the library is then not loaded at
// all rather than looked for along the search path (which starts with the
// monitor's own, writable folder).
[[nodiscard]] inline std::string SystemLibraryPath(const std::string& systemFolder,
                                                   const std::string& name) {
  const bool drive = systemFolder.size() >= 3 && systemFolder[1] == ':' &&
                     (systemFolder[2] == '\\' || systemFolder[2] == '/');
  const bool unc = systemFolder.rfind("\\\\", 0) == 0;
  if (!drive && !unc) return {};
  const char last = systemFolder.back();
  return systemFolder + (last == '\\' || last == '/' ? "" : "\\") + name;
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
