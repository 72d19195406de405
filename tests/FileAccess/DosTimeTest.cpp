#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FileAccess/DosTime.h"
#include "TzTestSupport.h"

namespace vxk {
namespace {

constexpr std::uint32_t kMarch2019 =
    (39u << 25) + (3u << 21) + (1u << 16) + (12u << 11) + (34u << 5) + 28u;  // 2019-03-01 12:34:56

TEST(DosTime, TextThatIsNoPackedTimeGivesZero) {
  for (const char* text : {"", "0", "abc", "12x", "-5", "+1315005532", " 1315005532", "1315005532 ",
                           "0x4E6164FC", "99999999999999999999"})
    EXPECT_EQ(DosTimeToDateTime(text), 0.0) << '"' << text << '"';
}

TEST(DosTime, PacksAndUnpacksAKnownValue) {
  const TDateTime t = EncodeDateTime(2019, 3, 1, 12, 34, 56, 0);
  EXPECT_EQ(DateTimeToDosTime(t), kMarch2019);
  EXPECT_EQ(DosTimeToDateTime(std::to_string(kMarch2019)), t);
  // Odd seconds and milliseconds fall to the two-second step below.
  EXPECT_EQ(DateTimeToDosTime(EncodeDateTime(2019, 3, 1, 12, 34, 57, 0)), kMarch2019);
  EXPECT_EQ(DateTimeToDosTime(EncodeDateTime(2019, 3, 1, 12, 34, 57, 999)), kMarch2019);
  EXPECT_EQ(DosTimeToDateTime("0" + std::to_string(kMarch2019)), t);
}

TEST(DosTime, FieldsOutOfRangeGiveZero) {
  const std::uint32_t noon = 12u << 11;
  auto date = [](std::uint32_t y, std::uint32_t m, std::uint32_t d) {
    return (y << 25) | (m << 21) | (d << 16);
  };
  for (std::uint32_t packed :
       {date(39, 0, 1) | noon, date(39, 13, 1) | noon, date(39, 3, 0) | noon,
        date(39, 4, 31) | noon, date(39, 2, 29) | noon, date(39, 3, 1) | (24u << 11),
        date(39, 3, 1) | (60u << 5), date(39, 3, 1) | 30u, date(39, 3, 1) | 31u}) {
    EXPECT_EQ(DosTimeValueToDateTime(packed), 0.0) << packed;
    EXPECT_EQ(DosTimeToDateTime(std::to_string(packed)), 0.0) << packed;
  }
  EXPECT_EQ(DosTimeValueToDateTime(date(40, 2, 29) | noon),
            EncodeDateTime(2020, 2, 29, 12, 0, 0, 0));
}

TEST(DosTime, RangeLimits) {
  // 2043-12-31 23:59:58 is the last stamp below 2^31; from 2044 on the text is not read,
  // while the numeric form still decodes all 32 bits.
  EXPECT_EQ(DosTimeToDateTime("2141175677"), EncodeDateTime(2043, 12, 31, 23, 59, 58, 0));
  const std::uint32_t newYear2044 = (64u << 25) | (1u << 21) | (1u << 16);
  EXPECT_EQ(DosTimeToDateTime(std::to_string(newYear2044)), 0.0);
  EXPECT_EQ(DosTimeValueToDateTime(newYear2044), EncodeDate(2044, 1, 1));
  EXPECT_EQ(DateTimeToDosTime(EncodeDateTime(2107, 12, 31, 23, 59, 59, 0)), 4288659325u);
  EXPECT_EQ(DateTimeToDosTime(EncodeDate(1980, 1, 1)), (1u << 21) | (1u << 16));
  // Dates without a packed form, "no time" among them, give 0.
  EXPECT_EQ(DateTimeToDosTime(0), 0u);
  EXPECT_EQ(DateTimeToDosTime(EncodeDateTime(1979, 12, 31, 23, 59, 59, 0)), 0u);
  EXPECT_EQ(DateTimeToDosTime(EncodeDate(2108, 1, 1)), 0u);
  EXPECT_EQ(DateTimeToDosTime(1e300), 0u);
}

TEST(DosTime, RoundTripThroughTheWireTextAcrossTheRange) {
  int checked = 0;
  for (int y = 1980; y <= 2043; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysInMonth(y, m); d += 9) {
        const TDateTime t = EncodeDateTime(y, m, d, (d + m) % 24, (y + d) % 60, (2 * d) % 60, 0);
        EXPECT_EQ(DosTimeToDateTime(std::to_string(DateTimeToDosTime(t))), t) << FormatDateTime(t);
        ++checked;
      }
  EXPECT_GT(checked, 2000);
}

TEST(SplitTab, CutsTheFirstFieldAndKeepsTheRest) {
  struct Case {
    const char *in, *field, *rest;
  } cases[] = {{"a\tb\tc", "a", "b\tc"}, {"abc", "abc", ""}, {"", "", ""},      {"\t", "", ""},
               {"a\t", "a", ""},         {"\tb", "", "b"},   {"\t\t", "", "\t"}};
  for (const Case& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(SplitTab(text), c.field) << c.in;
    EXPECT_EQ(text, c.rest) << c.in;
  }
}

TEST(SplitTab, WalksAListingLine) {
  std::string line = "my file.txt\t1234\t32\t1315005532\t0\t";
  EXPECT_EQ(SplitTab(line), "my file.txt");
  EXPECT_EQ(SplitTab(line), "1234");
  EXPECT_EQ(SplitTab(line), "32");
  EXPECT_EQ(DosTimeToDateTime(SplitTab(line)), EncodeDateTime(2019, 3, 1, 12, 34, 56, 0));
  EXPECT_EQ(DosTimeToDateTime(SplitTab(line)), 0.0);
  EXPECT_EQ(SplitTab(line), "");
  EXPECT_EQ(SplitTab(line), "");  // a missing field reads as empty
  EXPECT_TRUE(line.empty());
}

TEST(FileTime, LocalTimeAtTwoSecondSteps) {
  test::ScopedTz tz("CET-1CEST,M3.5.0,M10.5.0/3");
  test::ScratchFile file;
  file.SetModified(1625394031);  // 2021-07-04 10:20:31 UTC, summer time
  EXPECT_EQ(FileTimeOf(file.path()), EncodeDateTime(2021, 7, 4, 12, 20, 30, 0));
  file.SetModified(1610274031);  // 2021-01-10 10:20:31 UTC, winter time
  EXPECT_EQ(FileTimeOf(file.path()), EncodeDateTime(2021, 1, 10, 11, 20, 30, 0));
  file.SetModified(1610274030);
  EXPECT_EQ(FileTimeOf(file.path()), EncodeDateTime(2021, 1, 10, 11, 20, 30, 0));
  file.SetModified(160000000);  // 1975: no packed form
  EXPECT_EQ(FileTimeOf(file.path()), 0.0);
}

TEST(FileTime, MissingFileGivesZero) {
  std::string path;
  {
    test::ScratchFile gone;
    path = gone.path();
  }
  EXPECT_EQ(FileTimeOf(path), 0.0);
  EXPECT_EQ(FileTimeOf(""), 0.0);
}

}  // namespace
}  // namespace vxk
