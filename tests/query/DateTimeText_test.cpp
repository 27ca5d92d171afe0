#include "DateTimeText.h"

#include <gtest/gtest.h>

namespace {

using namespace datetime;

constexpr std::int64_t day = MillisecondsPerDay;

TEST(DateTimeText, ParsesTheServiceForms) {
  struct Case {
    std::optional<std::int64_t> (*parse)(std::string_view);
    const char *text;
    std::optional<std::int64_t> ms;
  };
  const Case cases[] = {
      {ParseDate, "1899-12-30", 0},
      {ParseDate, "1899-12-29", -day},
      {ParseDate, "1900-01-01", 2 * day},
      {ParseDate, "2024-01-01", 45292 * day},
      {ParseDate, "2024-02-29", 45351 * day},
      {ParseDate, "0001-01-01", -693593 * day},
      {ParseDate, "2023-02-29", std::nullopt},
      {ParseDate, "1900-02-29", std::nullopt},
      {ParseDate, "0000-00-00", std::nullopt},
      {ParseDate, "2024-13-01", std::nullopt},
      {ParseDate, "2024-04-31", std::nullopt},
      {ParseDate, "2024-1-01", std::nullopt},
      {ParseDate, "2024/01/01", std::nullopt},
      {ParseDate, "2024-01-01 ", std::nullopt},
      {ParseDate, "", std::nullopt},
      {ParseTime, "00:00:00", 0},
      {ParseTime, "12:00:00", day / 2},
      {ParseTime, "23:59:59", day - 1000},
      {ParseTime, "23:59:59.999999", day - 1},
      {ParseTime, "10:20:30.5", (10 * 3600 + 20 * 60 + 30) * 1000 + 500},
      {ParseTime, "24:00:00", std::nullopt},
      {ParseTime, "12:60:00", std::nullopt},
      {ParseTime, "12:00:60", std::nullopt},
      {ParseTime, "-01:00:00", std::nullopt},
      {ParseTime, "838:59:59", std::nullopt},
      {ParseTime, "12:00", std::nullopt},
      {ParseTime, "12:00:00.", std::nullopt},
      {ParseTime, "12:00:00,5", std::nullopt},
      {ParseDateTime, "2024-01-01 06:00:00", 45292 * day + day / 4},
      {ParseDateTime, "2024-01-01", 45292 * day},
      {ParseDateTime, "1899-12-29 06:00:00", -day + day / 4},
      {ParseDateTime, "0000-00-00 00:00:00", std::nullopt},
      {ParseDateTime, "2024-01-01T06:00:00", std::nullopt},
      {ParseDateTime, "2024-01-01 ", std::nullopt},
      {ParseDateTime, "2024-01-01 25:00:00", std::nullopt},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.parse(c.text), c.ms) << c.text;
}

TEST(DateTimeText, FormatsWhatItParses) {
  for (const char *text : {"2024-02-29 23:59:59", "0001-01-01 00:00:00", "1899-12-29 06:00:00",
                           "9999-12-31 12:34:56.789", "1970-01-01 00:00:00.001"}) {
    auto ms = ParseDateTime(text);
    ASSERT_TRUE(ms) << text;
    EXPECT_EQ(FormatDateTime(*ms), text);
  }
  EXPECT_EQ(FormatDate(*ParseDate("1600-03-01")), "1600-03-01");
  EXPECT_EQ(FormatTime(*ParseTime("07:08:09")), "07:08:09");
}

TEST(DateTimeText, RuntimeDateTimeValue) {
  EXPECT_DOUBLE_EQ(ToDateTimeValue(0), 0.0);
  EXPECT_DOUBLE_EQ(ToDateTimeValue(45292 * day + day / 4), 45292.25);
  EXPECT_DOUBLE_EQ(ToDateTimeValue(-day + day / 4), -1.25);
  EXPECT_DOUBLE_EQ(ToDateTimeValue(-2 * day), -2.0);
  EXPECT_DOUBLE_EQ(ToDateTimeValue(day / 2), 0.5);
}

} // namespace
