#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/settings_store.h"

namespace pellux::fakes {

// Values by key and name; %NAME% expands from environment, an unknown
// name stays as it is.
class FakeSettingsStore final : public SettingsStore {
 public:
  void Set(SettingsKey key, const std::string& name, std::string text, StoredKind kind = StoredKind::Text) {
    values[{key, name}] = {kind, std::move(text)};
  }
  void SetNumber(SettingsKey key, const std::string& name, std::uint32_t number) {
    values[{key, name}] = {StoredKind::Number, {}, number};
  }
  std::optional<StoredValue> Read(SettingsKey key, const std::string& name) override {
    auto it = values.find({key, name});
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> Expand(const std::string& text) override {
    if (failExpand) return std::nullopt;
    std::string out = text;
    for (const auto& [name, value] : environment) {
      const std::string marker = "%" + name + "%";
      for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + value.size()))
        out.replace(at, marker.size(), value);
    }
    return out;
  }
  std::map<std::pair<SettingsKey, std::string>, StoredValue> values;
  std::map<std::string, std::string> environment{{"ProgramFiles(x86)", "C:\\Program Files (x86)"}};
  bool failExpand = false;
};

}  // namespace pellux::fakes
