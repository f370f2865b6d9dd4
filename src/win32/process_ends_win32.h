#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/process_ends.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

// A SYNCHRONIZE handle on each watched process, and a wait on it registered
// with the system's thread pool once (WT_EXECUTEONLYONCE): when the process
// ends, a pool thread posts message to the window and touches nothing else,
// so the window is never blocked and learns of the end with its next
// message. Whether a process has ended is read on the window's thread from
// the handle itself.
class Win32ProcessEnds final : public ProcessEnds {
 public:
  Win32ProcessEnds(std::function<HWND()> window, UINT message) : window_(std::move(window)), message_(message) {}
  ~Win32ProcessEnds() override;
  Win32ProcessEnds(const Win32ProcessEnds&) = delete;
  Win32ProcessEnds& operator=(const Win32ProcessEnds&) = delete;

  [[nodiscard]] bool Watch(std::int32_t id, std::uint64_t created) override;
  void Forget(std::int32_t id) override;
  [[nodiscard]] bool Ended(std::int32_t id) override;

  // What the pool thread is given: set before the wait is registered and not
  // changed while it stands.
  struct Target {
    HWND window;
    UINT message;
  };

 private:
  // Declared in this order so that the wait is taken back before the handle
  // it waits on is closed.
  struct Watched {
    UniqueHandle process;
    std::unique_ptr<Target> target;
    UniqueWait wait;
  };
  std::function<HWND()> window_;
  UINT message_;
  std::map<std::int32_t, Watched> watched_;
};

}  // namespace pellux::win32
