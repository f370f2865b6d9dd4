#pragma once
#include <windows.h>

#include "platform/lifetime.h"

namespace pellux::win32 {

class Win32Lifetime final : public Lifetime {
 public:
  [[noreturn]] void EndNow(int exitCode) override;
};

}  // namespace pellux::win32
