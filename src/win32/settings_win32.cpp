#include "win32/settings_win32.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "win32/settings_places.h"
#include "win32/utf_conversion.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {
namespace {

static_assert(kKeyQueryValue == KEY_QUERY_VALUE && kKeyWow64_64 == KEY_WOW64_64KEY && kKeyWow64_32 == KEY_WOW64_32KEY);

// The text up to its first NUL: a REG_SZ may or may not carry its own.
std::string TextOf(const std::vector<wchar_t>& buffer, DWORD bytes) {
  const std::size_t chars = bytes / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < chars && buffer[length] != L'\0') ++length;
  return WideToUtf8(std::wstring(buffer.data(), length));
}

// Stands for a text that was not read because it is longer than any path.
std::string TooLong() { return std::string(kLongestSettingRead, '?'); }

// Whether the environment gives the variable a value: the count asked for
// with no buffer includes the terminating NUL, so an empty one gives 1.
bool Defined(const wchar_t* name) { return ::GetEnvironmentVariableW(name, nullptr, 0) > 1; }

}  // namespace

std::optional<StoredValue> Win32SettingsStore::Read(SettingsKey key, const std::string& name) {
  const RegistryPlace place = PlaceOf(key);
  HKEY opened = nullptr;
  const LSTATUS open = ::RegOpenKeyExW(place.root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE
                                                                                : HKEY_CURRENT_USER,
                                       place.subkey, 0, place.access, &opened);
  // A key that is absent, or closed to this user, holds nothing for us.
  if (open != ERROR_SUCCESS) return std::nullopt;
  const UniqueRegistryKey owned(opened);
  const std::wstring valueName = Utf8ToWide(name);

  DWORD type = 0;
  DWORD bytes = 0;
  LSTATUS status = ::RegQueryValueExW(owned.get(), valueName.c_str(), nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (status != ERROR_SUCCESS) return StoredValue{StoredKind::Unreadable, {}};
  if (type == REG_DWORD) {
    DWORD number = 0;
    DWORD got = sizeof(number);
    status = ::RegQueryValueExW(owned.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &got);
    // Rewritten between the two calls as another type or size: not a number.
    if (status != ERROR_SUCCESS) return StoredValue{StoredKind::Unreadable, {}};
    if (type != REG_DWORD || got != sizeof(number)) return StoredValue{StoredKind::OtherType, {}};
    return StoredValue{StoredKind::Number, {}, number};
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return StoredValue{StoredKind::OtherType, {}};

  // Read at most what could ever be accepted and a little more. A longer
  // value (or one that grew past that between the two calls) leaves the
  // buffer undefined; it is carried on as a text longer than any path.
  const DWORD limit = (kLongestSettingRead + 1) * sizeof(wchar_t);
  std::vector<wchar_t> buffer(kLongestSettingRead + 2, L'\0');
  DWORD got = limit;
  status = ::RegQueryValueExW(owned.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                              &got);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return StoredValue{StoredKind::Unreadable, {}};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return StoredValue{StoredKind::OtherType, {}};
  const StoredKind kind = type == REG_EXPAND_SZ ? StoredKind::ExpandText : StoredKind::Text;
  if (status == ERROR_MORE_DATA) return StoredValue{kind, TooLong()};
  return StoredValue{kind, TextOf(buffer, std::min(got, limit))};
}

std::optional<std::string> Win32SettingsStore::Expand(const std::string& text) {
  const std::wstring wide = Utf8ToWide(
      WithNativeProgramFolders(text, Defined(L"ProgramW6432"), Defined(L"CommonProgramW6432")));
  std::vector<wchar_t> buffer(512);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD needed = ::ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0) return std::nullopt;
    // The count includes the terminating NUL; a bigger one asks for more room.
    if (needed <= buffer.size()) return WideToUtf8(std::wstring(buffer.data(), needed - 1));
    if (needed > kLongestSettingRead) return TooLong();
    buffer.assign(needed, L'\0');
  }
  return std::nullopt;
}

}  // namespace pellux::win32
