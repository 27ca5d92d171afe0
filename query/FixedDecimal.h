#pragma once

// An exact decimal number with four decimal places, held as a 64-bit count of ten-thousandths:
// the range is -922,337,203,685,477.5808 to 922,337,203,685,477.5807.

#include <cstdint>
#include <string>
#include <string_view>

class FixedDecimal {
public:
  static constexpr int Places = 4;
  static constexpr std::int64_t Scale = 10000;

  enum class Parse { Ok, Invalid, OutOfRange };

  constexpr FixedDecimal() = default;
  static constexpr FixedDecimal FromScaled(std::int64_t scaled) { return FixedDecimal(scaled); }

  // Reads an optional sign, digits with at most one `separator`, and an optional exponent ("e-05"),
  // with surrounding blanks; the value is rounded to the nearest ten-thousandth, halves away from zero.
  static Parse FromText(std::string_view text, char separator, FixedDecimal &result);

  // Whole number of units with `separator` and always four decimals: "-1234,5000".
  std::string ToString(char separator = ',') const;
  double ToDouble() const { return static_cast<double>(scaled_) / Scale; }
  std::int64_t Scaled() const { return scaled_; }

  friend constexpr bool operator==(FixedDecimal, FixedDecimal) = default;

private:
  constexpr explicit FixedDecimal(std::int64_t scaled) : scaled_(scaled) {}
  std::int64_t scaled_ = 0;
};
