#pragma once
#include <optional>
#include <string>

#include "platform/settings_store.h"

namespace pellux::win32 {

// The settings in the registry (see settings_places.h for the keys and view).
class Win32SettingsStore final : public SettingsStore {
 public:
  [[nodiscard]] std::optional<StoredValue> Read(SettingsKey key, const std::string& name) override;
  [[nodiscard]] std::optional<std::string> Expand(const std::string& text) override;
};

}  // namespace pellux::win32
