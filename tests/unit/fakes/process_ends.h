#pragma once
#include <algorithm>
#include <cstdint>
#include <map>

#include "platform/process_ends.h"

namespace pellux::fakes {

// Handles that tell a process's end, on the processes of a FakeProcessTable:
// a process has ended once the table no longer lists it under its creation
// time, or lists it with an exit code (held open by someone). As
// OpenProcess(SYNCHRONIZE) does on Windows ("Process Security and Access
// Rights": an elevated process of the same user grants SYNCHRONIZE with the
// limited query right, another user's grants neither), a watch is refused
// where the limited open is.
class FakeProcessEnds final : public ProcessEnds {
 public:
  explicit FakeProcessEnds(FakeProcessTable& table) : table_(table) {}
  bool Watch(std::int32_t id, std::uint64_t created) override {
    if (held.count(id) != 0) return true;
    const FakeProcessTable::Process* p = Listed(id);
    if (p == nullptr || p->owner == FakeProcessTable::Owner::OtherUser || !p->openLimited ||
        (created != 0 && p->created != created))
      return false;
    held[id] = p->created;
    ++watches;
    return true;
  }
  void Forget(std::int32_t id) override { held.erase(id); }
  bool Ended(std::int32_t id) override { return HasEnded(id); }
  [[nodiscard]] bool HasEnded(std::int32_t id) const {
    const auto it = held.find(id);
    if (it == held.end()) return false;
    const FakeProcessTable::Process* p = Listed(id);
    return p == nullptr || p->created != it->second || p->exitCode != 259;
  }
  // What the system would tell the window now: a watched process has ended.
  [[nodiscard]] bool AnyEnded() const {
    return std::any_of(held.begin(), held.end(), [this](const auto& h) { return HasEnded(h.first); });
  }
  std::map<std::int32_t, std::uint64_t> held;  // the handles held now, by id, with the creation time watched
  int watches = 0;

 private:
  const FakeProcessTable::Process* Listed(std::int32_t id) const {
    for (const auto& p : table_.processes)
      if (p.id == id) return &p;
    return nullptr;
  }
  FakeProcessTable& table_;
};

}  // namespace pellux::fakes
