// The per-day service password and the runtime's date-time values.

#include "reply_text.h"

#include "Exception.h"

#include <cstdio>
#include <ctime>

namespace reply_text {
namespace {

// Days from 1 January 1970 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

} // namespace

std::string daily_password(int day, int month, int year) {
  unsigned long number = static_cast<unsigned long>(day) * 1000000ul +
                         static_cast<unsigned long>(month) * 10000ul + static_cast<unsigned long>(year);
  char hex[32];
  std::snprintf(hex, sizeof hex, "%02lX", number);
  return hex;
}

std::string password_at(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return daily_password(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

std::string todays_password() {
  return password_at(std::time(nullptr));
}

double encode_date_time(int year, int month, int day, int hour, int minute, int second) {
  static constexpr int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > month_days[month - 1] + (month == 2 && leap(year)) || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59)
    throw Exception("Data ou hora inválida");
  const int64_t days = days_from_civil(year, month, day) - days_from_civil(1899, 12, 30);
  return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

} // namespace reply_text
