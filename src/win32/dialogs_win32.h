#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/dialogs.h"

namespace pellux::win32 {

// Message boxes owned by the main window once it exists.
class Win32Dialogs final : public Dialogs {
 public:
  explicit Win32Dialogs(std::function<HWND()> owner) : owner_(std::move(owner)) {}
  void ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override;

 private:
  std::function<HWND()> owner_;
};

}  // namespace pellux::win32
