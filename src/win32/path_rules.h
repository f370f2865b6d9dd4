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
[[nodiscard]] inline std::string QuotedCommandLine(const std::string& path) {
  return '"' + path + '"';
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

// The core's rule for a path query that came back full (common/path_buffer.h).
using pellux::kLongestPath;
using pellux::PathMayBeCut;

// The wide file calls take a path of 260 characters or more only in its
// extended-length form (\\?\C:\..., \\?\UNC\server\...) unless the system
// allows long paths to every program; a shorter or relative path is left as it is.
[[nodiscard]] inline std::string ExtendedLengthPath(const std::string& path) {
  if (path.size() < 260 || path.rfind("\\\\?\\", 0) == 0) return path;
  if (path.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return "\\\\?\\" + path;
  return path;
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

}  // namespace pellux::win32
