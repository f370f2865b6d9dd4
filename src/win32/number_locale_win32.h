#pragma once
#include <windows.h>

#include <string>

#include "platform/number_locale.h"

namespace pellux::win32 {

class Win32NumberLocale final : public NumberLocale {
 public:
  [[nodiscard]] std::string DecimalSeparator() override;
};

}  // namespace pellux::win32
