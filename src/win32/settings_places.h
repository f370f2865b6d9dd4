#pragma once
// Where the registry adapter reads each key of the settings, without a
// platform header, so that it can be checked natively.
#include <cstdint>

#include "platform/settings_store.h"

namespace pellux::win32 {

enum class RegistryRoot { LocalMachine, CurrentUser };

struct RegistryPlace {
  RegistryRoot root;
  const wchar_t* subkey;
  std::uint32_t access;  // the samDesired of RegOpenKeyExW
};

inline constexpr std::uint32_t kKeyQueryValue = 0x0001;  // KEY_QUERY_VALUE
inline constexpr std::uint32_t kKeyWow64_64 = 0x0100;    // KEY_WOW64_64KEY
inline constexpr std::uint32_t kKeyWow64_32 = 0x0200;    // KEY_WOW64_32KEY

// Every key in the 64-bit view, so that the 32-bit and the 64-bit monitor
// read the same settings. On 64-bit Windows 7 and later HKLM\SOFTWARE is
// redirected for a 32-bit process (to SOFTWARE\WOW6432Node) while
// SOFTWARE\Policies and HKCU\SOFTWARE are shared; the flag has no effect on
// shared keys and 32-bit Windows ignores it, so it changes nothing there and
// keeps one view wherever a redirector (an older Windows, Wine) would split
// them. Only values are queried: no key is ever written.
[[nodiscard]] constexpr RegistryPlace PlaceOf(SettingsKey key) {
  constexpr std::uint32_t access = kKeyQueryValue | kKeyWow64_64;
  switch (key) {
    case SettingsKey::MachinePolicy:
      return {RegistryRoot::LocalMachine, L"SOFTWARE\\Policies\\PelluxMONITOR", access};
    case SettingsKey::UserPolicy:
      return {RegistryRoot::CurrentUser, L"SOFTWARE\\Policies\\PelluxMONITOR", access};
    case SettingsKey::User:
      break;
  }
  return {RegistryRoot::CurrentUser, L"SOFTWARE\\PelluxMONITOR", access};
}

// Longer than any path the settings may name, so a value cut here is still
// refused as too long.
inline constexpr std::uint32_t kLongestSettingRead = 32768;

}  // namespace pellux::win32
