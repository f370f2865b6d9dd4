#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/launcher.h"

namespace pellux::win32 {

class Win32Launcher final : public Launcher {
 public:
  [[nodiscard]] std::uint32_t StartMinimised(const std::string& path, const std::string& workingFolder,
                                             std::uint64_t* created) override;
};

}  // namespace pellux::win32
