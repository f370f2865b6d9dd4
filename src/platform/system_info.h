#pragma once
#include <cstdint>
#include <optional>
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
  // The number of the logon session the monitor runs in (0 is the services'
  // session, where no user is), or nullopt when it cannot be told.
  [[nodiscard]] virtual std::optional<std::uint32_t> SessionId() = 0;
  // Whether the monitor's window station is one a user sees (the interactive
  // one) rather than a service's or a hidden one; nullopt when it cannot be told.
  [[nodiscard]] virtual std::optional<bool> WindowStationVisible() = 0;
};

}  // namespace pellux
