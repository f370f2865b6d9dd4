#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/journal.h"
#include "fakes/process_table.h"
#include "platform/launcher.h"

namespace pellux::fakes {

class FakeLauncher final : public Launcher {
 public:
  explicit FakeLauncher(Journal& journal) : journal_(journal) {}
  std::uint32_t StartMinimised(const std::string& path, const std::string& folder, std::uint64_t* created) override {
    launches.push_back({path, folder});
    journal_.push_back("launch " + path);
    std::uint32_t id = nextId;
    if (choose) {
      id = choose(path);
    } else if (!results.empty()) {
      id = results.front();
      results.pop_front();
    } else {
      nextId += 4;
    }
    if (created != nullptr)
      *created = id == 0 ? 0 : createdOf ? createdOf(id) : FakeCreationTime(static_cast<std::int32_t>(id));
    if (id != 0 && onLaunch) onLaunch(path, id);
    return id;
  }
  std::vector<std::pair<std::string, std::string>> launches;
  std::deque<std::uint32_t> results;  // scripted results; afterwards ids from nextId
  std::uint32_t nextId = 4000;
  // When set, decides every result in place of results and nextId.
  std::function<std::uint32_t(const std::string& path)> choose;
  // When set, the creation time reported for a new id (else FakeCreationTime).
  std::function<std::uint64_t(std::uint32_t id)> createdOf;
  std::function<void(const std::string& path, std::uint32_t id)> onLaunch;

 private:
  Journal& journal_;
};

}  // namespace pellux::fakes
