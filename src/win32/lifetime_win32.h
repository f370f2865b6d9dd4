#pragma once
#include <windows.h>

#include <utility>

#include "platform/lifetime.h"
#include "win32/win32_handles.h"

namespace pellux::win32 {

class Win32Lifetime final : public Lifetime {
 public:
  // mark: the session's mark this monitor holds, kept until it leaves.
  explicit Win32Lifetime(UniqueHandle& mark) : mark_(mark) {}
  [[noreturn]] void EndNow(int exitCode) override;
  void LeaveSession() override;

 private:
  UniqueHandle& mark_;
};

}  // namespace pellux::win32
