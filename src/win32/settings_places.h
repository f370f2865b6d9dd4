#pragma once
// Where the registry adapter reads each key of the settings, without a
// platform header, so that it can be checked natively.
#include <cstdint>
#include <string>

#include "common/upper_case.h"
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

// The Policies keys and the user's own key in the 64-bit view, so that the
// 32-bit and the 64-bit monitor read the same settings. On 64-bit Windows 7
// and later HKLM\SOFTWARE is redirected for a 32-bit process (to
// SOFTWARE\WOW6432Node) while SOFTWARE\Policies and HKCU\SOFTWARE are shared;
// the flag has no effect on shared keys and 32-bit Windows ignores it, so it
// changes nothing there and keeps one view wherever a redirector (an older
// Windows, Wine) would split them. The workstation's key is read in both
// views, the 64-bit one first: a 32-bit machine-wide package can write only
// the 32-bit one. Only values are queried: no key is ever written.
[[nodiscard]] constexpr RegistryPlace PlaceOf(SettingsKey key) {
  constexpr std::uint32_t access = kKeyQueryValue | kKeyWow64_64;
  switch (key) {
    case SettingsKey::MachinePolicy:
      return {RegistryRoot::LocalMachine, L"SOFTWARE\\Policies\\PelluxMONITOR", access};
    case SettingsKey::UserPolicy:
      return {RegistryRoot::CurrentUser, L"SOFTWARE\\Policies\\PelluxMONITOR", access};
    case SettingsKey::User:
      return {RegistryRoot::CurrentUser, L"SOFTWARE\\PelluxMONITOR", access};
    case SettingsKey::Machine:
      return {RegistryRoot::LocalMachine, L"SOFTWARE\\PelluxMONITOR", access};
    case SettingsKey::Machine32:
      break;
  }
  return {RegistryRoot::LocalMachine, L"SOFTWARE\\PelluxMONITOR", kKeyQueryValue | kKeyWow64_32};
}

// A 32-bit program on 64-bit Windows gets the 32-bit folders for
// %ProgramFiles% and %CommonProgramFiles%, so one setting would name two
// places. The text is given the native folders' variables in their stead
// (%ProgramW6432%, %CommonProgramW6432%) where those are defined: they are
// on 64-bit Windows, in either kind of program, and name the native
// folders. The %...% pairs are taken from the left as the expansion takes
// them, and names are compared in any case, as the environment does.
[[nodiscard]] inline std::string WithNativeProgramFolders(const std::string& text, bool programW6432,
                                                          bool commonProgramW6432) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('%', at);
    const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    out.append(text, at, open + 1 - at);
    if (programW6432 && Upper(name) == "PROGRAMFILES") {
      out += "ProgramW6432";
    } else if (commonProgramW6432 && Upper(name) == "COMMONPROGRAMFILES") {
      out += "CommonProgramW6432";
    } else {
      out += name;
    }
    out += '%';
    at = close + 1;
  }
  out.append(text, at, std::string::npos);
  return out;
}

// Longer than any path the settings may name, so a value cut here is still
// refused as too long.
inline constexpr std::uint32_t kLongestSettingRead = 32768;

}  // namespace pellux::win32
