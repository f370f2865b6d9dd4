#pragma once
#include <string>

#include "platform/file_system.h"

namespace pellux::win32 {

// Files through the wide file API, so that any folder works. Every open is
// shared for reading, writing and deleting, so another program may read,
// copy or delete the log and control files between our single-step opens.
class Win32FileSystem final : public FileSystem {
 public:
  [[nodiscard]] bool Exists(const std::string& path) override;
  [[nodiscard]] bool Append(const std::string& path, const std::string& bytes) override;
  [[nodiscard]] std::optional<std::string> ReadHead(const std::string& path,
                                                    std::size_t maxBytes) override;
};

}  // namespace pellux::win32
