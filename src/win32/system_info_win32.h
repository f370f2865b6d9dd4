#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/system_info.h"

namespace pellux::win32 {

class Win32SystemInfo final : public SystemInfo {
 public:
  [[nodiscard]] std::string ProgramFolder() override;
  [[nodiscard]] std::string ProgramBaseName() override;
  [[nodiscard]] std::string FileVersion(const std::string& path) override;
  [[nodiscard]] std::optional<std::uint32_t> SessionId() override;
  [[nodiscard]] std::optional<bool> WindowStationVisible() override;

 private:
  // The running executable's full path, read once.
  const std::string& ModulePath();
  std::optional<std::string> modulePath_;
};

}  // namespace pellux::win32
