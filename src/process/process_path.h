#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/process_table.h"

namespace pellux {

// Closes a process handle when the walk leaves a process by any path. Close()
// is the explicit, checked close of the termination sequence; it is also
// attempted for handle 0, which the system refuses.
class HandleGuard {
 public:
  HandleGuard(ProcessTable& table, ProcessHandle handle) : table_(table), handle_(handle) {}
  ~HandleGuard() {
    if (handle_ != 0) (void)table_.Close(handle_);  // nothing to do about a failed close here
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

  [[nodiscard]] ProcessHandle get() const { return handle_; }
  // Closes the handle held (its result is of no use here) and takes next.
  void Reset(ProcessHandle next = 0) {
    if (handle_ != 0) (void)table_.Close(handle_);
    handle_ = next;
  }
  [[nodiscard]] bool Close() {
    const ProcessHandle handle = handle_;
    handle_ = 0;
    return table_.Close(handle);
  }

 private:
  ProcessTable& table_;
  ProcessHandle handle_;
};

// Reads the full path of the process's executable: through a kAccessRead
// handle and the first entry of its module list, or, when either is refused
// (a process started elevated, or a 64-bit process seen from a 32-bit
// monitor, whose module list cannot be read across), through a
// kAccessQueryLimited handle and the image path query. Nothing when the
// process is refused both ways (another user's refuses both); handle holds
// the handle the path was read through; the path lies in buffer.
std::optional<std::string_view> ReadPath(ProcessTable& table, HandleGuard& handle, std::int32_t id,
                                         std::string& buffer);

// The creation time read through handle is the one the snapshot listed: the
// process opened is the process listed, not a later one under its id. A
// snapshot that gives no creation time (0) cannot be compared.
bool IsListed(ProcessTable& table, ProcessHandle handle, std::uint64_t listed);

}  // namespace pellux
