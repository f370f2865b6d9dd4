#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace pellux {

// The places a setting may come from, in the order they are asked.
enum class SettingsKey {
  MachinePolicy,  // HKLM\SOFTWARE\Policies\PelluxMONITOR: group policy, the plant's IT
  UserPolicy,     // HKCU\SOFTWARE\Policies\PelluxMONITOR
  User,           // HKCU\SOFTWARE\PelluxMONITOR: what the per-user installer or the user wrote
  Machine,        // HKLM\SOFTWARE\PelluxMONITOR: the workstation's own, from the machine-wide installer
  Machine32,      // the same key as a 32-bit program sees it on 64-bit Windows (WOW6432Node)
};

enum class StoredKind {
  Text,        // REG_SZ
  ExpandText,  // REG_EXPAND_SZ: %variables% still to be expanded
  Number,      // REG_DWORD
  OtherType,   // any other type of value
  Unreadable,  // there, but it could not be read
};

struct StoredValue {
  StoredKind kind = StoredKind::Text;
  std::string text;          // UTF-8, up to its first NUL; empty unless a text kind
  std::uint32_t number = 0;  // a Number's value
};

// The monitor's settings as the system stores them (on Windows the
// registry). Abstract so that tests can script them.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The value name under key; nullopt when the key or the value is absent.
  // A text longer than any path comes back cut, still longer than any path.
  [[nodiscard]] virtual std::optional<StoredValue> Read(SettingsKey key, const std::string& name) = 0;

  // text with its %variables% replaced from the environment (an unknown one
  // stays as it is), %ProgramFiles% and %CommonProgramFiles% naming the
  // native folders in a 32-bit program too; nullopt when the expansion failed.
  [[nodiscard]] virtual std::optional<std::string> Expand(const std::string& text) = 0;
};

}  // namespace pellux
