#pragma once
#include <optional>
#include <string>

namespace pellux {

// What the monitor launched, kept where it ends with the logon session, so
// that a monitor started again in the same session (after a crash, an update
// or a closed window) can find the programs an earlier one launched. The
// contents are the core's own; the store keeps them as they are.
class LaunchRecord {
 public:
  virtual ~LaunchRecord() = default;
  // The record last written in this logon session; nullopt when there is
  // none or it cannot be read.
  [[nodiscard]] virtual std::optional<std::string> Read() = 0;
  // Replaces the record as a whole with bytes. False when it was not written.
  virtual bool Write(const std::string& bytes) = 0;
};

}  // namespace pellux
