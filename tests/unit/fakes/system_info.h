#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/system_info.h"

namespace pellux::fakes {

class FakeSystemInfo final : public SystemInfo {
 public:
  std::string ProgramFolder() override { return folder; }
  std::string ProgramBaseName() override { return baseName; }
  std::string FileVersion(const std::string& path) override {
    versionAsked = path;
    return version;
  }
  std::optional<std::uint32_t> SessionId() override { return session; }
  std::optional<bool> WindowStationVisible() override { return stationVisible; }
  std::string folder = "C:\\Monitor";
  std::string baseName = "PelluxMONITOR";
  std::string version = "1.0.0.0";
  std::string versionAsked;
  std::optional<std::uint32_t> session = 1;   // a user's logon
  std::optional<bool> stationVisible = true;  // WinSta0
};

}  // namespace pellux::fakes
