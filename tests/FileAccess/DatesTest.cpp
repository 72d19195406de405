#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "FileAccess/Dates.h"
#include "TzTestSupport.h"

namespace vxk {
namespace {

ZoneRule Recurring(int month, int week, int weekday, int hour, int minute = 0) {
  ZoneRule rule;
  rule.month = month;
  rule.day = week;
  rule.dayOfWeek = weekday;
  rule.hour = hour;
  rule.minute = minute;
  return rule;
}

ZoneInformation Parsed(const std::string& text) {
  ZoneInformation zone;
  EXPECT_TRUE(ParsePosixTz(text, zone)) << text;
  return zone;
}

std::string Utc(TDateTime local, const ZoneInformation& zone) {
  return FormatDateTime(LocalToUtc(local, zone));
}

TDateTime At(int y, int m, int d, int h, int n = 0) {
  return EncodeDateTime(y, m, d, h, n, 0, 0);
}

TEST(Dates, TransitionDayOfRecurringRules) {
  // March 2020 begins on a Sunday: its second Sunday is the 8th.
  EXPECT_EQ(ZoneTransition(Recurring(3, 2, 0, 2), At(2020, 7, 1, 0)), At(2020, 3, 8, 2));
  // "Last" (5) when the month has five of them, and the fourth when it has not.
  EXPECT_EQ(ZoneTransition(Recurring(10, 5, 0, 3), At(2021, 1, 1, 0)), At(2021, 10, 31, 3));
  EXPECT_EQ(ZoneTransition(Recurring(3, 5, 0, 1), At(2021, 1, 1, 0)), At(2021, 3, 28, 1));
  EXPECT_EQ(ZoneTransition(Recurring(2, 5, 6, 0), At(2020, 1, 1, 0)), At(2020, 2, 29, 0));
  EXPECT_EQ(ZoneTransition(Recurring(2, 5, 6, 0), At(2021, 1, 1, 0)), At(2021, 2, 27, 0));
  // Times beyond a day or before midnight move to other days: 4th Thursday of March 2026
  // is the 26th, 50 hours on is Saturday the 28th; last Sunday less one hour is Saturday.
  EXPECT_EQ(ZoneTransition(Recurring(3, 4, 4, 50), At(2026, 5, 5, 5)), At(2026, 3, 28, 2));
  EXPECT_EQ(ZoneTransition(Recurring(3, 5, 0, -1), At(2026, 5, 5, 5)), At(2026, 3, 28, 23));
  ZoneRule fixed = Recurring(4, 17, 0, 3, 30);
  fixed.year = 2011;
  EXPECT_EQ(ZoneTransition(fixed, At(2030, 1, 1, 0)), At(2011, 4, 17, 3, 30));
  EXPECT_THROW(ZoneTransition(Recurring(13, 1, 0, 2), At(2021, 1, 1, 0)), ZoneError);
  EXPECT_THROW(ZoneTransition(Recurring(3, 0, 0, 2), At(2021, 1, 1, 0)), ZoneError);
  EXPECT_THROW(ZoneTransition(Recurring(3, 1, 7, 2), At(2021, 1, 1, 0)), ZoneError);
}

TEST(Dates, DaylightTimeBetweenLastSundaysOfMarchAndOctober) {
  ZoneInformation zone;
  zone.bias = -60;
  zone.daylightBias = -60;
  zone.daylightDate = Recurring(3, 5, 0, 1);
  zone.standardDate = Recurring(10, 5, 0, 2);
  EXPECT_TRUE(IsDaylightTime(zone, At(2021, 7, 15, 12)));
  EXPECT_FALSE(IsDaylightTime(zone, At(2021, 12, 15, 12)));
  EXPECT_FALSE(IsDaylightTime(zone, At(2021, 1, 15, 12)));
  EXPECT_FALSE(IsDaylightTime(zone, At(2021, 3, 28, 0, 59)));
  EXPECT_TRUE(IsDaylightTime(zone, At(2021, 3, 28, 1)));
  EXPECT_TRUE(IsDaylightTime(zone, At(2021, 10, 31, 2)));
  EXPECT_FALSE(IsDaylightTime(zone, At(2021, 10, 31, 2, 1)));
  EXPECT_EQ(Utc(At(2021, 7, 15, 12), zone), "2021-07-15 10:00:00");
  EXPECT_EQ(Utc(At(2021, 12, 15, 12), zone), "2021-12-15 11:00:00");
  zone.standardDate.month = 0;  // no daylight time at all
  EXPECT_FALSE(IsDaylightTime(zone, At(2021, 7, 15, 12)));
  EXPECT_EQ(Utc(At(2021, 7, 15, 12), zone), "2021-07-15 11:00:00");
}

TEST(Dates, DaylightTimeAcrossTheTurnOfTheYear) {
  const ZoneInformation sydney = Parsed("AEST-10AEDT,M10.1.0,M4.1.0/3");
  EXPECT_TRUE(IsDaylightTime(sydney, At(2026, 1, 15, 12)));
  EXPECT_TRUE(IsDaylightTime(sydney, At(2026, 12, 15, 12)));
  EXPECT_FALSE(IsDaylightTime(sydney, At(2026, 7, 15, 12)));
  EXPECT_EQ(Utc(At(2026, 1, 15, 12), sydney), "2026-01-15 01:00:00");
  EXPECT_EQ(Utc(At(2026, 7, 15, 12), sydney), "2026-07-15 02:00:00");
  // April 5th 2026 03:00 daylight time ends; October 4th 02:00 it begins.
  EXPECT_TRUE(IsDaylightTime(sydney, At(2026, 4, 5, 2, 59)));
  EXPECT_FALSE(IsDaylightTime(sydney, At(2026, 4, 5, 3, 1)));
  EXPECT_FALSE(IsDaylightTime(sydney, At(2026, 10, 4, 1, 59)));
  EXPECT_TRUE(IsDaylightTime(sydney, At(2026, 10, 4, 2)));
  // A zone whose "daylight" time is its winter time, one hour behind its summer time.
  const ZoneInformation dublin = Parsed("IST-1GMT0,M10.5.0,M3.5.0/1");
  EXPECT_EQ(Utc(At(2026, 7, 1, 12), dublin), "2026-07-01 11:00:00");
  EXPECT_EQ(Utc(At(2026, 1, 1, 12), dublin), "2026-01-01 12:00:00");
}

std::string Describe(const ZoneRule& r) {
  char text[48];
  std::snprintf(text, sizeof text, "M%d.%d.%d/%d:%02d:%02d", r.month, r.day, r.dayOfWeek, r.hour,
                r.minute, r.second);
  return r.month == 0 ? "none" : text;
}

TEST(Dates, PosixRulesMapToTheRecord) {
  struct Case {
    const char *rule, *want;
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00"},
      {"<+07>-7", "-420 0 0 none none"},
      {"NST3:30NDT,M3.2.0,M11.1.0", "210 0 -60 M3.2.0/2:00:00 M11.1.0/2:00:00"},
      {"<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45", "-765 0 -60 M9.5.0/2:45:00 M4.1.0/3:45:00"},
      {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "-630 0 -30 M10.1.0/2:00:00 M4.1.0/2:00:00"},
      {"IST-1GMT0,M10.5.0,M3.5.0/1", "-60 0 60 M10.5.0/2:00:00 M3.5.0/1:00:00"},
      // Negative times put the sign on the hour and keep minutes in 0..59.
      {"<-02>2<-01>,M3.5.0/-1:30,M10.5.0/0", "120 0 -60 M3.5.0/-2:30:00 M10.5.0/0:00:00"},
      {"EET-2EEST,M3.4.4/50,M10.4.4/+50", "-120 0 -60 M3.4.4/50:00:00 M10.4.4/50:00:00"},
  };
  for (const Case& c : cases) {
    ZoneInformation z;
    ASSERT_TRUE(ParsePosixTz(c.rule, z)) << c.rule;
    EXPECT_EQ(std::to_string(z.bias) + ' ' + std::to_string(z.standardBias) + ' ' +
                  std::to_string(z.daylightBias) + ' ' + Describe(z.daylightDate) + ' ' +
                  Describe(z.standardDate),
              c.want)
        << c.rule;
  }
  // Forms the record cannot hold (day-of-year rules, no rules, offsets in seconds) and
  // malformed texts are refused and leave the record alone.
  ZoneInformation zone;
  zone.bias = 12345;
  for (const char* text :
       {"<+0330>-3:30<+0430>,J79/24,J263/24", "XXX3YYY,0/0,365/25", "EST5EDT", "LMT-0:53:28", "",
        "CET", "Europe/Berlin", "AB-1", "CET-25", "<+07-7", "CET-1CEST,M13.1.0,M10.5.0",
        "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0", "CET-1CEST,M3.5.0",
        "CET-1CEST,M3.5.0,M10.5.0/3x", "CET-1CEST,M3.5.0,M10.5.0/168"})
    EXPECT_FALSE(ParsePosixTz(text, zone)) << text;
  EXPECT_EQ(zone.bias, 12345);
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const char kBerlin[] = "/usr/share/zoneinfo/Europe/Berlin";

TEST(Dates, ZoneFileFooterAndDamagedFiles) {
  EXPECT_EQ(TzifFooter(kBerlin), "CET-1CEST,M3.5.0,M10.5.0/3");
  const std::string bytes = FileBytes(kBerlin);
  ASSERT_GT(bytes.size(), 200u);
  EXPECT_THROW(TzifFooter("/nonexistent/zone"), ZoneError);
  EXPECT_THROW(TzifFooter(test::ScratchFile("not a zone file at all, just text\n").path()),
               ZoneError);
  EXPECT_THROW(TzifFooter(test::ScratchFile(bytes.substr(0, 100)).path()), ZoneError);
  EXPECT_THROW(TzifFooter(test::ScratchFile(bytes.substr(0, bytes.size() - 1)).path()), ZoneError);
  std::string hugeCounts = bytes;
  hugeCounts[32] = '\x7f';  // transition count of the first header
  EXPECT_THROW(TzifFooter(test::ScratchFile(hugeCounts).path()), ZoneError);
}

TEST(Dates, ZoneInForceComesFromTz) {
  {
    test::ScopedTz tz("Europe/Berlin");
    const LocalZone zone = ReadLocalZone();
    EXPECT_EQ(zone.source, kBerlin);
    EXPECT_TRUE(zone.mapped);
    EXPECT_EQ(zone.info.bias, -60);
    EXPECT_FALSE(zone.changes.empty());
    EXPECT_EQ(FormatDateTime(LocalToUtc(At(2026, 7, 1, 12))), "2026-07-01 10:00:00");
  }
  {
    test::ScopedTz tz(":Europe/Berlin");
    EXPECT_EQ(ReadLocalZone().source, kBerlin);
  }
  {
    test::ScopedTz tz("<+0545>-5:45");
    const LocalZone zone = ReadLocalZone();
    EXPECT_EQ(zone.source, "<+0545>-5:45");
    EXPECT_FALSE(zone.fromFile);
    EXPECT_EQ(FormatDateTime(LocalToUtc(At(2026, 7, 1, 12))), "2026-07-01 06:15:00");
  }
  {
    test::ScopedTz tz("");
    EXPECT_EQ(FormatDateTime(LocalToUtc(At(2026, 7, 1, 12))), "2026-07-01 12:00:00");
  }
  {
    // Day-of-year rules do not fit the record: the C library converts instead.
    test::ScopedTz tz("<+0330>-3:30<+0430>,J79/24,J263/24");
    EXPECT_FALSE(ReadLocalZone().mapped);
    EXPECT_EQ(FormatDateTime(LocalToUtc(At(2021, 7, 1, 12))), "2021-07-01 07:30:00");
    EXPECT_EQ(FormatDateTime(LocalToUtc(At(2021, 1, 1, 12))), "2021-01-01 08:30:00");
  }
  {
    // Without TZ the system's zone file is in force, and UTC when there is none.
    test::ScopedTz tz(nullptr);
    EXPECT_EQ(ReadLocalZone().source,
              access("/etc/localtime", F_OK) == 0 ? "/etc/localtime" : "UTC");
  }
  for (const char* unreadable : {"Nowhere/Atlantis", ":Nowhere/Atlantis", "Europe/"}) {
    test::ScopedTz tz(unreadable);
    EXPECT_THROW(ReadLocalZone(), ZoneError) << unreadable;
    EXPECT_THROW(LocalToUtc(At(2021, 7, 1, 12)), ZoneError) << unreadable;
  }
}

// 2021 changes of a central European zone, as a zone file would list them.
LocalZone CentralEuropeWithChanges() {
  LocalZone zone;
  zone.fromFile = true;
  zone.mapped = ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3", zone.info);
  zone.initialOffset = 3600;
  zone.changes = {{1616893200, 7200},   // 2021-03-28 01:00 UTC
                  {1635642000, 3600},   // 2021-10-31 01:00 UTC
                  {1648342800, 7200}};  // 2022-03-27 01:00 UTC
  return zone;
}

TEST(Dates, RuleGovernsOnlyWhereListedChangesAgree) {
  LocalZone zone = CentralEuropeWithChanges();
  EXPECT_TRUE(RuleGovernsYear(zone, 2021));
  EXPECT_TRUE(RuleGovernsYear(zone, 2022));   // listed up to March, the rule after that
  EXPECT_TRUE(RuleGovernsYear(zone, 2030));   // after the last listed change
  EXPECT_FALSE(RuleGovernsYear(zone, 2020));  // listed: no daylight time in 2020
  zone.changes[1].utc += 7 * 86400;           // a switch a week off the rule
  EXPECT_FALSE(RuleGovernsYear(zone, 2021));
  zone = CentralEuropeWithChanges();
  zone.changes[0].utcOffset = 10800;  // an offset the rule does not know
  EXPECT_FALSE(RuleGovernsYear(zone, 2021));
  zone = CentralEuropeWithChanges();
  zone.mapped = false;
  EXPECT_FALSE(RuleGovernsYear(zone, 2030));
}

}  // namespace
}  // namespace vxk
