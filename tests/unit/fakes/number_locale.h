#pragma once
#include <string>

#include "platform/number_locale.h"

namespace pellux::fakes {

class FakeNumberLocale final : public NumberLocale {
 public:
  std::string DecimalSeparator() override { return separator; }
  std::string separator = ".";
};

}  // namespace pellux::fakes
