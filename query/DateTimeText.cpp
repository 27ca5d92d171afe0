#include "DateTimeText.h"

#include <cstdio>

namespace datetime {
namespace {

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  std::int64_t year;
  unsigned month, day;
};

Civil civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

const std::int64_t origin_days = days_from_civil(1899, 12, 30);

// Reads exactly `count` digits at s[pos].
std::optional<unsigned> digits(std::string_view s, size_t pos, size_t count) {
  if (pos + count > s.size())
    return std::nullopt;
  unsigned value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9')
      return std::nullopt;
    value = value * 10 + (s[i] - '0');
  }
  return value;
}

bool leap(std::int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned days_in_month(std::int64_t y, unsigned m) {
  static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : days[m - 1];
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

std::optional<std::int64_t> ParseDate(std::string_view s) {
  auto y = digits(s, 0, 4), m = digits(s, 5, 2), d = digits(s, 8, 2);
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !y || !m || !d)
    return std::nullopt;
  if (*y < 1 || *m < 1 || *m > 12 || *d < 1 || *d > days_in_month(*y, *m))
    return std::nullopt;
  return (days_from_civil(*y, *m, *d) - origin_days) * MillisecondsPerDay;
}

std::optional<std::int64_t> ParseTime(std::string_view s) {
  auto h = digits(s, 0, 2), m = digits(s, 3, 2), sec = digits(s, 6, 2);
  if (s.size() < 8 || s[2] != ':' || s[5] != ':' || !h || !m || !sec || *h > 23 || *m > 59 || *sec > 59)
    return std::nullopt;
  unsigned ms = 0;
  if (s.size() > 8) {
    // A fraction of a second: kept to the millisecond, the further digits dropped.
    if (s[8] != '.' || s.size() == 9)
      return std::nullopt;
    for (size_t i = 9; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9')
        return std::nullopt;
      if (i < 12)
        ms += (s[i] - '0') * (i == 9 ? 100 : i == 10 ? 10 : 1);
    }
  }
  return ((*h * 60 + *m) * 60 + *sec) * std::int64_t{1000} + ms;
}

std::optional<std::int64_t> ParseDateTime(std::string_view s) {
  if (s.size() == 10)
    return ParseDate(s);
  if (s.size() < 11 || s[10] != ' ')
    return std::nullopt;
  auto date = ParseDate(s.substr(0, 10));
  auto time = ParseTime(s.substr(11));
  if (!date || !time)
    return std::nullopt;
  return *date + *time;
}

std::string FormatDate(std::int64_t ms) {
  Civil c = civil_from_days(floor_div(ms, MillisecondsPerDay) + origin_days);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(c.year), c.month, c.day);
  return buffer;
}

std::string FormatTime(std::int64_t ms) {
  std::int64_t of_day = ms - floor_div(ms, MillisecondsPerDay) * MillisecondsPerDay;
  unsigned total = static_cast<unsigned>(of_day / 1000), milli = static_cast<unsigned>(of_day % 1000);
  char buffer[32];
  if (milli != 0)
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%03u", total / 3600, total / 60 % 60, total % 60,
                  milli);
  else
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", total / 3600, total / 60 % 60, total % 60);
  return buffer;
}

std::string FormatDateTime(std::int64_t ms) {
  return FormatDate(ms) + ' ' + FormatTime(ms);
}

double ToDateTimeValue(std::int64_t ms) {
  std::int64_t days = floor_div(ms, MillisecondsPerDay);
  double fraction = static_cast<double>(ms - days * MillisecondsPerDay) / MillisecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

} // namespace datetime
