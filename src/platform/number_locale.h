#pragma once
#include <string>

namespace pellux {

// The user's regional settings as the number conversion reads them.
class NumberLocale {
 public:
  virtual ~NumberLocale() = default;
  // The decimal separator of the user's locale ("." or "," usually).
  [[nodiscard]] virtual std::string DecimalSeparator() = 0;
};

}  // namespace pellux
