#include "FixedDecimal.h"

#include <gtest/gtest.h>

namespace {

using P = FixedDecimal::Parse;

struct Case {
  const char *text;
  char separator;
  P status;
  std::int64_t scaled; // when Ok
};

const Case cases[] = {
    {"1234,5", ',', P::Ok, 12345000},
    {"0,00006", ',', P::Ok, 1},
    {"0,00005", ',', P::Ok, 1},
    {"-0,00005", ',', P::Ok, -1},
    {"0,000049999", ',', P::Ok, 0},
    {"-0,00004", ',', P::Ok, 0},
    {"1,99995", ',', P::Ok, 20000},
    {"  +7 ", ',', P::Ok, 70000},
    {",5", ',', P::Ok, 5000},
    {"5,", ',', P::Ok, 50000},
    {"000123,4500", ',', P::Ok, 1234500},
    {"1,5e-05", ',', P::Ok, 0},
    {"6E-05", ',', P::Ok, 1},
    {"1,25E+3", ',', P::Ok, 12500000},
    {"0e99999999999", ',', P::Ok, 0},
    {"1e-99999999999", ',', P::Ok, 0},
    {"922337203685477,5807", ',', P::Ok, INT64_MAX},
    {"-922337203685477,5808", ',', P::Ok, INT64_MIN},
    {"922337203685477,58069", ',', P::Ok, INT64_MAX},
    {"922337203685477,5808", ',', P::OutOfRange, 0},
    {"-922337203685477,5809", ',', P::OutOfRange, 0},
    {"922337203685477,58075", ',', P::OutOfRange, 0},
    {"1e15", ',', P::OutOfRange, 0},
    {"99999999999999999999999", ',', P::OutOfRange, 0},
    {"12.5", '.', P::Ok, 125000},
    {"12.5", ',', P::Invalid, 0},
    {"1,234,5", ',', P::Invalid, 0},
    {"", ',', P::Invalid, 0},
    {"-", ',', P::Invalid, 0},
    {",", ',', P::Invalid, 0},
    {"1e", ',', P::Invalid, 0},
    {"e5", ',', P::Invalid, 0},
    {"1 2", ',', P::Invalid, 0},
    {"NaN", ',', P::Invalid, 0},
    {"0x10", ',', P::Invalid, 0},
};

TEST(FixedDecimal, FromText) {
  for (const Case &c : cases) {
    FixedDecimal value = FixedDecimal::FromScaled(-42);
    EXPECT_EQ(FixedDecimal::FromText(c.text, c.separator, value), c.status) << c.text;
    if (c.status == P::Ok)
      EXPECT_EQ(value.Scaled(), c.scaled) << c.text;
    else
      EXPECT_EQ(value.Scaled(), -42) << c.text << ": a refused text leaves the result alone";
  }
}

TEST(FixedDecimal, ToStringRoundTrips) {
  const std::pair<std::int64_t, const char *> cases[] = {
      {0, "0,0000"},
      {1, "0,0001"},
      {-1, "-0,0001"},
      {12345000, "1234,5000"},
      {-12345, "-1,2345"},
      {INT64_MAX, "922337203685477,5807"},
      {INT64_MIN, "-922337203685477,5808"},
  };
  for (auto [scaled, text] : cases) {
    EXPECT_EQ(FixedDecimal::FromScaled(scaled).ToString(), text);
    FixedDecimal back;
    ASSERT_EQ(FixedDecimal::FromText(text, ',', back), P::Ok) << text;
    EXPECT_EQ(back.Scaled(), scaled);
  }
  EXPECT_EQ(FixedDecimal::FromScaled(25).ToString('.'), "0.0025");
  EXPECT_DOUBLE_EQ(FixedDecimal::FromScaled(-12345).ToDouble(), -1.2345);
}

} // namespace
