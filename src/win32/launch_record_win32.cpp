#include "win32/launch_record_win32.h"

#include <windows.h>

#include <vector>

#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

constexpr wchar_t kVolatileKey[] = L"Software\\PelluxMONITOR.Volatile";
// Far more than a whole record; a longer value is not one of ours.
constexpr DWORD kLongestValue = 512;

// "Session" and the Windows session's number; "Session" alone when it
// cannot be read, which a monitor of another session cannot mistake for its own.
std::wstring ValueName() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return L"Session";
  return L"Session" + std::to_wstring(session);
}

}  // namespace

std::optional<std::string> Win32LaunchRecord::Read() {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kVolatileKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return std::nullopt;
  const UniqueRegistryKey key(opened);
  std::vector<BYTE> buffer(kLongestValue);
  DWORD type = 0;
  DWORD bytes = kLongestValue;
  if (::RegQueryValueExW(key.get(), ValueName().c_str(), nullptr, &type, buffer.data(), &bytes) != ERROR_SUCCESS ||
      type != REG_BINARY)
    return std::nullopt;  // absent, too long or of another type: no record of ours
  return std::string(reinterpret_cast<const char*>(buffer.data()), bytes);
}

bool Win32LaunchRecord::Write(const std::string& bytes) {
  HKEY created = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kVolatileKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
    return false;
  const UniqueRegistryKey key(created);
  // One value set in one call: a reader sees the old record or the new one, never half of it.
  return ::RegSetValueExW(key.get(), ValueName().c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

}  // namespace pellux::win32
