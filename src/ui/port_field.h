#pragma once
#include <string>

#include "platform/dialogs.h"
#include "platform/number_locale.h"
#include "platform/window_controls.h"

namespace pellux {

inline constexpr char kPortInvalidText[] = "El Valor Colocado NO es Valido.\rVerificar que sea un NUMERO";
inline constexpr char kPortInvalidCaption[] = "ATENCION!!!";

enum class PortVerdict { Empty, Rewritten, Rejected };

struct PortValidation {
  PortVerdict verdict;
  std::string text;  // the rewritten text for Rewritten, else the text as given
};

// The port field's rule: empty stays empty; a leading blank, any comma, or a
// text the locale's number conversion refuses is rejected; anything else is
// rewritten as a whole number by the pattern "0".
[[nodiscard]] PortValidation ValidatePortText(const std::string& text, const std::string& decimalSeparator);

// TBPort's focus loss. False when the text was rejected: the box was shown
// and the focus is back in the field.
[[nodiscard]] bool TBPort_LostFocus(WindowControls& controls, Dialogs& dialogs, NumberLocale& locale);

}  // namespace pellux
