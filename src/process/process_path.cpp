#include "process/process_path.h"

#include <algorithm>
#include <array>

#include "common/path_buffer.h"

namespace pellux {
namespace {

constexpr std::size_t kModuleSlots = 50;

// Asks read for the path into buffer, 260 characters and more, doubled
// while a read comes back full (cut), so that a path of any length is read
// whole. Gives the path, at the start of buffer, or nothing when a read fails
// (0). The buffer keeps its size from one read to the next.
template <typename Read>
std::optional<std::string_view> ReadGrowing(Read&& read, bool emptyIsAPath, std::string& buffer) {
  for (std::uint32_t capacity = kShortPathChars;; capacity *= 2) {
    if (buffer.size() < capacity) buffer.resize(capacity);
    const std::uint32_t copied = read(buffer.data(), capacity);
    if (copied == 0 && !emptyIsAPath) return std::nullopt;
    if (!PathMayBeCut(copied, capacity)) return std::string_view(buffer.data(), std::min(copied, capacity));
  }
}

}  // namespace

std::optional<std::string_view> ReadPath(ProcessTable& table, HandleGuard& handle, std::int32_t id,
                                         std::string& buffer) {
  handle.Reset(table.Open(kAccessRead, false, id));
  if (handle.get() != 0) {
    std::array<ModuleHandle, kModuleSlots> modules{};
    std::uint32_t bytesNeeded = 0;
    if (table.ListModules(handle.get(), modules.data(), sizeof modules, &bytesNeeded)) {
      // A failed query (0) gives the empty path, and the process still counts.
      return ReadGrowing(
          [&](char* buffer, std::uint32_t capacity) {
            return table.ModulePath(handle.get(), modules[0], buffer, capacity);
          },
          true, buffer);
    }
  }
  handle.Reset();  // closed before the second open
  handle.Reset(table.Open(kAccessQueryLimited, false, id));
  if (handle.get() == 0) return std::nullopt;
  // Here no path is no process: protected and system processes open this
  // way yet name no file, and they stay skipped as before.
  const auto readImage = [&](char* buffer, std::uint32_t capacity) {
    return table.ImagePath(handle.get(), buffer, capacity);
  };
  return ReadGrowing(readImage, false, buffer);
}

bool IsListed(ProcessTable& table, ProcessHandle handle, std::uint64_t listed) {
  if (listed == 0) return true;
  std::uint64_t created = 0;
  return table.CreationTime(handle, &created) && created == listed;
}

}  // namespace pellux
