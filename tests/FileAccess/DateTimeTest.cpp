#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "FileAccess/DateTime.h"
#include "TzTestSupport.h"

namespace vxk {
namespace {

std::string Full(TDateTime t) {
  int y, m, d, h, n, s, ms;
  DecodeDateTime(t, y, m, d, h, n, s, ms);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, h, n, s, ms);
  return text;
}

TEST(DatesCalendar, DayCountsMatchTheCommonBase) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDays);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 18, 0, 0, 0), 2.75);
  // Before the base day the fraction still counts forward from the (negative) day.
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_EQ(Full(-1.25), "1899-12-29 06:00:00.000");
  EXPECT_EQ(Full(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999)), "9999-12-31 23:59:59.999");
  for (int y = 1900; y <= 2100; y += 7)
    for (int m = 1; m <= 12; ++m) {
      const int d = DaysInMonth(y, m) - m % 3;
      char want[40];
      std::snprintf(want, sizeof want, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, m + 7,
                    (y * 7) % 60, (d * 3) % 60, y % 1000);
      EXPECT_EQ(Full(EncodeDateTime(y, m, d, m + 7, (y * 7) % 60, (d * 3) % 60, y % 1000)), want);
    }
}

TEST(DatesCalendar, DecodeRoundsToTheNearestMillisecond) {
  // Day fractions built from seconds are not exact in binary; they must not lose a second.
  EXPECT_EQ(Full(43525.0 + (12 * 3600 + 34 * 60 + 56) / 86400.0), "2019-03-01 12:34:56.000");
  EXPECT_EQ(FormatDateTime(EncodeDateTime(2019, 3, 1, 12, 34, 56, 0) - 1e-10),
            "2019-03-01 12:34:56");
  // Rounding up past midnight moves the date on, here into the next year.
  EXPECT_EQ(Full(EncodeDate(2024, 1, 1) - 0.2 / 86400000.0), "2024-01-01 00:00:00.000");
}

TEST(DatesCalendar, InvalidFieldsAreRejected) {
  TDateTime t = 0;
  EXPECT_TRUE(TryEncodeDateTime(2020, 2, 29, 0, 0, 0, 0, t));
  const int bad[][7] = {
      {2019, 2, 29, 0, 0, 0, 0}, {2019, 4, 31, 0, 0, 0, 0},   {2019, 0, 1, 0, 0, 0, 0},
      {2019, 13, 1, 0, 0, 0, 0}, {2019, 1, 1, 24, 0, 0, 0},   {2019, 1, 1, 0, 60, 0, 0},
      {2019, 1, 1, 0, 0, 60, 0}, {2019, 1, 1, 0, 0, 0, 1000}, {0, 1, 1, 0, 0, 0, 0}};
  for (const auto& f : bad)
    EXPECT_FALSE(TryEncodeDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6], t))
        << f[0] << ' ' << f[1];
  EXPECT_THROW(EncodeDateTime(2019, 2, 29, 0, 0, 0, 0), std::invalid_argument);
  EXPECT_THROW(FormatDateTime(1e9), std::invalid_argument);
}

TEST(DatesCalendar, LeapYearsMonthLengthsAndWeekdays) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 13), 0);
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 6);  // Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(1970, 1, 1)), 4);    // Thursday
  EXPECT_EQ(DayOfWeek(EncodeDateTime(2019, 3, 1, 23, 59, 0, 0)), 5);
  EXPECT_EQ(DayOfWeek(EncodeDate(2020, 3, 1)), 0);
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 0);  // before the base day
}

TEST(DatesCalendar, UnixSecondsAndTheCLibraryZone) {
  EXPECT_EQ(FormatDateTime(UnixToDateTime(1234567890)), "2009-02-13 23:31:30");
  EXPECT_EQ(DateTimeToUnix(EncodeDateTime(2009, 2, 13, 23, 31, 30, 999)), 1234567890);
  EXPECT_EQ(Full(UnixToDateTime(-86401, 250)), "1969-12-30 23:59:59.250");
  test::ScopedTz tz("CET-1CEST,M3.5.0,M10.5.0/3");
  // 1625394031 is 2021-07-04 10:20:31 UTC, summer time; 1610274031 is 2021-01-10 10:20:31.
  EXPECT_EQ(FormatDateTime(TimeToLocalDateTime(1625394031)), "2021-07-04 12:20:31");
  EXPECT_EQ(LocalDateTimeToTime(EncodeDateTime(2021, 7, 4, 12, 20, 31, 0)), 1625394031);
  EXPECT_EQ(LocalDateTimeToTime(EncodeDateTime(2021, 1, 10, 11, 20, 31, 0)), 1610274031);
}

}  // namespace
}  // namespace vxk
