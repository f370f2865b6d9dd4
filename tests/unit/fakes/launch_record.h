#pragma once
#include <optional>
#include <string>

#include "platform/launch_record.h"

namespace pellux::fakes {

// The session's record of launched programs, in memory.
class FakeLaunchRecord final : public LaunchRecord {
 public:
  std::optional<std::string> Read() override {
    ++reads;
    return stored;
  }
  bool Write(const std::string& bytes) override {
    ++writes;
    if (failWrite) return false;
    stored = bytes;
    return true;
  }
  std::optional<std::string> stored;
  int reads = 0;
  int writes = 0;
  bool failWrite = false;
};

}  // namespace pellux::fakes
