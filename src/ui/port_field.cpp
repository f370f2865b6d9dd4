#include "ui/port_field.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <optional>
#include <system_error>

namespace pellux {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as the field accepts it: an optional sign, digits with at most one
// decimal part written with the locale's separator (at least one digit in
// all), an optional exponent e or E with an optional sign and digits, then
// nothing but blanks. Anything else (a point in a comma locale, thousands
// separators, currency signs, tabs, letters) is not a number.
struct NumberParts {
  bool negative = false;
  std::string integerDigits;
  std::string fractionDigits;
  bool exponentNegative = false;
  std::string exponentDigits;
};

std::optional<NumberParts> SplitNumber(const std::string& text, const std::string& separator) {
  NumberParts parts;
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) parts.negative = text[i++] == '-';
  while (i < n && IsDigit(text[i])) parts.integerDigits += text[i++];
  if (text.compare(i, separator.size(), separator) == 0) {
    i += separator.size();
    while (i < n && IsDigit(text[i])) parts.fractionDigits += text[i++];
  }
  if (parts.integerDigits.empty() && parts.fractionDigits.empty()) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) parts.exponentNegative = text[i++] == '-';
    while (i < n && IsDigit(text[i])) parts.exponentDigits += text[i++];
    if (parts.exponentDigits.empty()) return std::nullopt;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  return parts;
}

// True when a number the conversion could not represent lies below the
// smallest double rather than above the largest: it is then taken as 0.
bool IsUnderflow(const NumberParts& parts) {
  const std::string digits = parts.integerDigits + parts.fractionDigits;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return true;
  long long exponent = 0;
  for (char c : parts.exponentDigits) {
    // Far beyond any double either way; stop before the count overflows.
    if (exponent > 1'000'000'000'000LL) break;
    exponent = exponent * 10 + (c - '0');
  }
  if (parts.exponentNegative) exponent = -exponent;
  const long long leading = static_cast<long long>(parts.integerDigits.size()) - 1 - static_cast<long long>(first) +
                            exponent;
  return leading < 0;
}

std::optional<double> ToDouble(const NumberParts& parts) {
  // The parts are handed on in the one spelling the conversion below knows,
  // which does not depend on any locale.
  std::string plain = parts.integerDigits.empty() ? "0" : parts.integerDigits;
  if (!parts.fractionDigits.empty()) plain += "." + parts.fractionDigits;
  if (!parts.exponentDigits.empty()) {
    plain += parts.exponentNegative ? "e-" : "e";
    plain += parts.exponentDigits;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value,
                                            std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    if (!IsUnderflow(parts)) return std::nullopt;
    value = 0.0;
  } else if (error != std::errc() || end != plain.data() + plain.size()) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return parts.negative ? -value : value;
}

// The pattern "0": rounded to a whole number, an exact half away from zero,
// no decimal part, no grouping, no "-0". Numbers beyond the exact integers of
// a double are written as their shortest digits padded with zeros ("1e300"
// becomes a 1 and 300 zeros), which convert back to the very same number.
std::optional<std::string> FormatWhole(double value) {
  const double whole = std::round(value);
  if (whole == 0.0) return std::string("0");
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(whole),
                                          std::chars_format::scientific);
  if (error != std::errc()) return std::nullopt;
  const std::string scientific(buffer, end);
  const std::size_t e = scientific.find('e');
  if (e == std::string::npos) return std::nullopt;
  std::string digits = scientific.substr(0, e);
  if (digits.size() > 1) digits.erase(1, 1);  // the decimal point after the first digit
  int exponent = 0;
  const char* expBegin = scientific.data() + e + 1;
  if (*expBegin == '+') ++expBegin;
  if (std::from_chars(expBegin, scientific.data() + scientific.size(), exponent).ec != std::errc()) return std::nullopt;
  if (exponent < 0 || digits.size() > static_cast<std::size_t>(exponent) + 1) return std::nullopt;
  digits.append(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
  return (whole < 0 ? "-" : "") + digits;
}

}  // namespace

PortValidation ValidatePortText(const std::string& text, const std::string& decimalSeparator) {
  if (text.empty()) return {PortVerdict::Empty, text};
  // The number conversion alone would pass over a leading blank; the field
  // does not.
  if (text.front() == ' ') return {PortVerdict::Rejected, text};
  if (text.find(',') != std::string::npos) return {PortVerdict::Rejected, text};
  // A locale that names no separator is read with the point.
  const std::string separator = decimalSeparator.empty() ? "." : decimalSeparator;
  const std::optional<NumberParts> parts = SplitNumber(text, separator);
  if (!parts) return {PortVerdict::Rejected, text};
  const std::optional<double> value = ToDouble(*parts);
  if (!value) return {PortVerdict::Rejected, text};
  std::optional<std::string> whole = FormatWhole(*value);
  if (!whole) return {PortVerdict::Rejected, text};
  return {PortVerdict::Rewritten, std::move(*whole)};
}

bool TBPort_LostFocus(WindowControls& controls, Dialogs& dialogs, NumberLocale& locale) {
  const std::string text = controls.PortText();
  PortValidation result{PortVerdict::Rejected, text};
  try {
    result = ValidatePortText(text, locale.DecimalSeparator());
  } catch (const std::exception&) {
    // Any failure of the conversion or the formatting counts as an invalid
    // value; the text stays as it was.
  }
  switch (result.verdict) {
    case PortVerdict::Empty:
      return true;
    case PortVerdict::Rewritten:
      controls.SetPortText(result.text);
      return true;
    case PortVerdict::Rejected:
      break;
  }
  dialogs.ShowBox(kPortInvalidText, kPortInvalidCaption, kBoxAttention);
  if (controls.PortVisible()) controls.FocusPort();
  return false;
}

}  // namespace pellux
