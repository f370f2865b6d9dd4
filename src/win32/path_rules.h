#pragma once
// How the adapters build and take apart the paths they hand to the system
// and get back from it. No platform header, so that they are checked natively.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/path_buffer.h"

namespace pellux::win32 {

// The command line for CreateProcess: the path in double quotes, so that a
// path with blanks is never read as "C:\Program" with arguments.
[[nodiscard]] inline std::string QuotedCommandLine(const std::string& path) { return '"' + path + '"'; }

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

// The core's rule for a path query that came back full (common/path_buffer.h).
using pellux::kLongestPath;
using pellux::PathMayBeCut;

// Hands a path that a wide query read on to the core's buffer of capacity
// bytes, in UTF-8: the bytes copied, or capacity, meaning "may be cut, ask
// again with more room", when the query filled its own buffer of capacity
// characters or the UTF-8 text does not fit (it takes up to three bytes for
// one character). The buffer then holds as much as fits.
[[nodiscard]] inline std::uint32_t HandOnPath(const std::string& utf8, bool queryFull, char* buffer,
                                              std::uint32_t capacity) {
  const std::size_t fits = utf8.size() < capacity ? utf8.size() : capacity;
  utf8.copy(buffer, fits);
  if (queryFull || utf8.size() >= capacity) return capacity;
  buffer[fits] = '\0';
  return static_cast<std::uint32_t>(fits);
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

// A path on a share: \\server\share\..., or its extended-length form
// \\?\UNC\server\share\... (a device path \\.\ or \\?\C:\ is none).
[[nodiscard]] inline bool IsSharePath(const std::string& path) {
  const auto separator = [&](std::size_t i) { return i < path.size() && (path[i] == '\\' || path[i] == '/'); };
  if (!separator(0) || !separator(1)) return false;
  if (path.size() >= 3 && (path[2] == '?' || path[2] == '.') && separator(3)) {
    const std::string rest = path.substr(4, 4);
    return rest.size() == 4 && (rest[0] == 'U' || rest[0] == 'u') && (rest[1] == 'N' || rest[1] == 'n') &&
           (rest[2] == 'C' || rest[2] == 'c') && (rest[3] == '\\' || rest[3] == '/');
  }
  return true;
}

// The root of the drive a path lies on ("D:\"), also in the extended-length
// form; empty when it names no drive.
[[nodiscard]] inline std::string DriveRoot(const std::string& path) {
  const std::size_t start = path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  if (path.size() < start + 2 || path[start + 1] != ':') return {};
  const char letter = path[start];
  if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return {};
  return std::string(1, letter) + ":\\";
}

// The full path of a system library in the system folder. Empty when the
// folder is not an absolute path, so that the library is then not loaded at
// all rather than looked for along the search path (which starts with the
// monitor's own, writable folder).
[[nodiscard]] inline std::string SystemLibraryPath(const std::string& systemFolder, const std::string& name) {
  const bool drive = systemFolder.size() >= 3 && systemFolder[1] == ':' &&
                     (systemFolder[2] == '\\' || systemFolder[2] == '/');
  const bool unc = systemFolder.rfind("\\\\", 0) == 0;
  if (!drive && !unc) return {};
  const char last = systemFolder.back();
  return systemFolder + (last == '\\' || last == '/' ? "" : "\\") + name;
}

}  // namespace pellux::win32
