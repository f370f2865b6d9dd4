// Port field validation against arbitrary text, read with a point and with a
// comma as the locale's decimal separator. Whatever comes in, the outcome is
// well formed: empty only for the empty text, a rejection hands the text back
// as typed, and a rewrite is a plain whole number that validates to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/port_field.h"

namespace {

bool IsPlainWholeNumber(const std::string& text) {
  const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (start == text.size()) return false;
  for (std::size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  if (text == "-0") return false;
  // No leading zeros: the pattern writes "0" alone or a number from 1 up.
  if (text.size() - start > 1 && text[start] == '0') return false;
  // The largest double has 309 digits.
  return text.size() - start <= 309;
}

void Check(const std::string& text, const std::string& separator) {
  const pellux::PortValidation v = pellux::ValidatePortText(text, separator);
  switch (v.verdict) {
    case pellux::PortVerdict::Empty:
      if (!text.empty() || !v.text.empty()) std::abort();
      break;
    case pellux::PortVerdict::Rejected:
      if (text.empty() || v.text != text) std::abort();
      break;
    case pellux::PortVerdict::Rewritten: {
      if (text.empty() || text[0] == ' ' || text.find(',') != std::string::npos) std::abort();
      if (!IsPlainWholeNumber(v.text)) std::abort();
      const pellux::PortValidation again = pellux::ValidatePortText(v.text, separator);
      if (again.verdict != pellux::PortVerdict::Rewritten || again.text != v.text) std::abort();
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Check(text, ".");
  Check(text, ",");
  return 0;
}
