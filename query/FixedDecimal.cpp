#include "FixedDecimal.h"

#include "text.h"

#include <algorithm>
#include <limits>

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Exponents beyond this only ever give zero or an overflow; clamping keeps the arithmetic small.
constexpr long exponent_limit = 100000;

} // namespace

FixedDecimal::Parse FixedDecimal::FromText(std::string_view text, char separator, FixedDecimal &result) {
  std::string_view s = text::trim_controls(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    negative = s[i++] == '-';

  // Significant digits without leading zeros, and how many of them stand before the separator.
  std::string digits;
  long point = 0;
  bool any_digit = false, seen_separator = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (is_digit(c)) {
      any_digit = true;
      if (digits.empty() && c == '0') {
        if (seen_separator)
          --point;
        continue;
      }
      digits += c;
      if (!seen_separator)
        ++point;
    } else if (c == separator && !seen_separator) {
      seen_separator = true;
    } else {
      break;
    }
  }
  if (!any_digit)
    return Parse::Invalid;

  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
      exponent_negative = s[i++] == '-';
    if (i == s.size() || !is_digit(s[i]))
      return Parse::Invalid;
    long exponent = 0;
    for (; i < s.size() && is_digit(s[i]); ++i)
      exponent = std::min(exponent * 10 + (s[i] - '0'), exponent_limit);
    point += exponent_negative ? -exponent : exponent;
  }
  if (i != s.size())
    return Parse::Invalid;

  // The scaled value is the first point + Places digits; the next one rounds.
  long whole = point + Places;
  if (whole > 20)
    return digits.empty() ? (result = FixedDecimal(), Parse::Ok) : Parse::OutOfRange;
  std::uint64_t magnitude = 0;
  for (long k = 0; k < whole; ++k) {
    unsigned digit = k < static_cast<long>(digits.size()) ? digits[k] - '0' : 0;
    if (__builtin_mul_overflow(magnitude, 10u, &magnitude) ||
        __builtin_add_overflow(magnitude, digit, &magnitude))
      return Parse::OutOfRange;
  }
  if (whole >= 0 && whole < static_cast<long>(digits.size()) && digits[whole] >= '5' &&
      __builtin_add_overflow(magnitude, 1u, &magnitude))
    return Parse::OutOfRange;

  constexpr std::uint64_t max_positive = std::numeric_limits<std::int64_t>::max();
  if (magnitude > max_positive + (negative ? 1 : 0))
    return Parse::OutOfRange;
  result = FixedDecimal(negative ? static_cast<std::int64_t>(0 - magnitude)
                                 : static_cast<std::int64_t>(magnitude));
  return Parse::Ok;
}

std::string FixedDecimal::ToString(char separator) const {
  std::uint64_t magnitude = scaled_ < 0 ? 0 - static_cast<std::uint64_t>(scaled_) : scaled_;
  std::string fraction = std::to_string(magnitude % Scale);
  std::string out = scaled_ < 0 ? "-" : "";
  out += std::to_string(magnitude / Scale);
  out += separator;
  out.append(Places - fraction.size(), '0');
  out += fraction;
  return out;
}
