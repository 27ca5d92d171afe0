#pragma once

// Dates and times as the query service writes them ("YYYY-MM-DD", "HH:MM:SS", "YYYY-MM-DD HH:MM:SS",
// seconds optionally followed by a fraction), held as milliseconds since 1899-12-30 00:00, the origin
// of the runtime's date-time. Years run from 1 to 9999; a time of day from 00:00:00 to 23:59:59.999.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace datetime {

constexpr std::int64_t MillisecondsPerDay = 86400000;

std::optional<std::int64_t> ParseDate(std::string_view text);
std::optional<std::int64_t> ParseTime(std::string_view text);
// A date and a time separated by one blank, or a date alone (midnight).
std::optional<std::int64_t> ParseDateTime(std::string_view text);

std::string FormatDate(std::int64_t ms);
// "HH:MM:SS", with ".mmm" only when the milliseconds are not zero.
std::string FormatTime(std::int64_t ms);
std::string FormatDateTime(std::int64_t ms);

// The runtime's date-time: days since 1899-12-30 with the time of day as the fraction; before that
// origin the whole days are negative and the fraction still counts forward from midnight (-1.25 is
// 1899-12-29 06:00).
double ToDateTimeValue(std::int64_t ms);

} // namespace datetime
