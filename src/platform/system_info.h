#pragma once
#include <string>

namespace pellux {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // The folder that holds the running executable, without a trailing
  // backslash, in UTF-8 (it may lie outside the system code page).
  [[nodiscard]] virtual std::string ProgramFolder() = 0;
  // The running executable's file name without its extension, in UTF-8.
  [[nodiscard]] virtual std::string ProgramBaseName() = 0;
  // The four-part file version of the file at the UTF-8 path ("1.0.0.0"), or empty.
  [[nodiscard]] virtual std::string FileVersion(const std::string& path) = 0;
};

}  // namespace pellux
