#include "win32/files_win32.h"

#include <windows.h>

#include <algorithm>
#include <limits>

#include "win32/path_rules.h"
#include "win32/utf_conversion.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// INVALID_FILE_ATTRIBUTES when nothing is there (or the drive is absent: the
// program runs with SEM_FAILCRITICALERRORS, so no "no disk" box comes up).
DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesW(Utf8ToWide(ExtendedLengthPath(path)).c_str());
}

UniqueFile Open(const std::string& path, DWORD access, DWORD disposition) {
  return UniqueFile(::CreateFileW(Utf8ToWide(ExtendedLengthPath(path)).c_str(), access, kShareAll,
                                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool Win32FileSystem::Exists(const std::string& path) {
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::Append(const std::string& path, const std::string& bytes) {
  // FILE_APPEND_DATA alone makes every write land at the end of the file,
  // even when another program wrote to it since we opened it.
  UniqueFile file = Open(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  if (!file) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max() / 2));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

std::optional<std::string> Win32FileSystem::ReadHead(const std::string& path,
                                                     std::size_t maxBytes) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  UniqueFile file = Open(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return std::nullopt;
  std::string content(maxBytes, '\0');
  std::size_t done = 0;
  while (done < maxBytes) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(maxBytes - done, std::numeric_limits<DWORD>::max() / 2));
    DWORD read = 0;
    if (!::ReadFile(file.get(), content.data() + done, chunk, &read, nullptr)) return std::nullopt;
    if (read == 0) break;  // end of file
    done += read;
  }
  content.resize(done);
  return content;
}

}  // namespace pellux::win32
