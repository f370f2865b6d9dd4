#pragma once
#include <optional>
#include <string>

#include "platform/launch_record.h"

namespace pellux::win32 {

// The record in a volatile key under HKCU, which the system drops when the
// user's logon ends: after a reboot or a new logon there is nothing to adopt.
// The key stands beside the product's own, not under it: made volatile, the
// missing product key would be volatile too, and the settings written into
// it later would go at the end of the logon. One value per Windows session,
// since a user logged on twice (at the console and remotely) shares one HKCU.
class Win32LaunchRecord final : public LaunchRecord {
 public:
  [[nodiscard]] std::optional<std::string> Read() override;
  bool Write(const std::string& bytes) override;
};

}  // namespace pellux::win32
