#pragma once
#include <string>

#include "platform/file_system.h"
#include "win32/win32_text.h"

namespace pellux::win32 {

// A UTF-8 path of the core as the wide file calls take it.
[[nodiscard]] inline std::wstring WidePath(const std::string& utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

// A wide path from the system as the core carries it, in UTF-8.
[[nodiscard]] inline std::string Utf8Path(const std::wstring& wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

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
