// Checks the zone rules against the C library's own conversion for every installed zone.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "FileAccess/Dates.h"
#include "TzTestSupport.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

const char kZoneDir[] = "/usr/share/zoneinfo";

bool IsTzif(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::memcmp(magic, "TZif", 4) == 0;
}

// Zone names under the zone directory, without the posix/ and right/ copies.
std::vector<std::string> ZoneNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(kZoneDir, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path relative = it->path().lexically_relative(kZoneDir);
    const std::string top = relative.begin()->string();
    if (it->is_directory()) {
      if (top == "posix" || top == "right") it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file() && IsTzif(it->path())) names.push_back(relative.string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

enum class FooterKind { NoDaylight, MRules, Other };

FooterKind KindOf(const std::string& footer) {
  const size_t first = footer.find(',');
  if (footer.empty()) return FooterKind::Other;
  if (first == std::string::npos) return FooterKind::NoDaylight;
  const size_t second = footer.find(',', first + 1);
  if (second == std::string::npos) return FooterKind::Other;
  return footer[first + 1] == 'M' && footer[second + 1] == 'M' ? FooterKind::MRules
                                                               : FooterKind::Other;
}

int CurrentYear() {
  int y, m, d;
  DecodeDate(Now(), y, m, d);
  return y;
}

long OffsetAt(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm.tm_gmtoff;
}

struct Sample {
  TDateTime local;
  std::time_t utc;
  bool daylight;
};

// Local times through the year (every 5th day at five times of day) that the C library maps
// to exactly one instant with no switch within 3 hours, with that instant.
std::vector<Sample> OracleSamples(int year, int& skipped) {
  static const int kTimes[][2] = {{0, 30}, {5, 15}, {12, 0}, {17, 45}, {23, 10}};
  std::vector<Sample> samples;
  const TDateTime newYear = EncodeDate(year, 1, 1);
  for (int day = 0; day < 365; day += 5) {
    int y, m, d;
    DecodeDate(newYear + day, y, m, d);
    for (const auto& time : kTimes) {
      std::tm tm{};
      tm.tm_year = y - 1900;
      tm.tm_mon = m - 1;
      tm.tm_mday = d;
      tm.tm_hour = time[0];
      tm.tm_min = time[1];
      tm.tm_isdst = -1;
      const std::time_t utc = std::mktime(&tm);
      std::tm back{};
      localtime_r(&utc, &back);
      const bool sameClock = back.tm_mday == d && back.tm_hour == time[0] && back.tm_min == time[1];
      const long offset = OffsetAt(utc);
      if (!sameClock || OffsetAt(utc - 10800) != offset || OffsetAt(utc + 10800) != offset) {
        ++skipped;
        continue;
      }
      samples.push_back({EncodeDateTime(y, m, d, time[0], time[1], 0, 0), utc, back.tm_isdst > 0});
    }
  }
  return samples;
}

struct ZoneResult {
  std::string footer;
  FooterKind kind = FooterKind::Other;
  bool mapped = false;
  bool ruleGoverns = false;
  int byRecord = 0;     // samples compared through the rule record
  int byZone = 0;       // samples compared through LocalToUtc(t) and the zone in force
  int daylight = 0;     // of the samples, in daylight time
  int skipped = 0;      // local times too near a switch
  int ruleDiffers = 0;  // record results off the C library (only counted, see below)
  std::vector<std::string> mismatches;
};

ZoneResult CheckZone(const std::string& name, int year) {
  ZoneResult result;
  test::ScopedTz tz(name.c_str());
  const LocalZone zone = ReadLocalZone();
  result.footer = zone.rule;
  result.kind = KindOf(zone.rule);
  result.mapped = zone.mapped;
  result.ruleGoverns = RuleGovernsYear(zone, year);
  const std::vector<Sample> samples = OracleSamples(year, result.skipped);
  for (size_t n = 0; n < samples.size(); ++n) {
    const Sample& s = samples[n];
    result.daylight += s.daylight;
    auto report = [&](const char* how, std::int64_t got) {
      std::ostringstream text;
      text << name << " (" << zone.rule << ") " << how << ": " << FormatDateTime(s.local)
           << " local gives " << got << ", C library " << static_cast<std::int64_t>(s.utc);
      result.mismatches.push_back(text.str());
    };
    if (zone.mapped) {
      const std::int64_t got = DateTimeToUnix(LocalToUtc(s.local, zone.info));
      if (result.ruleGoverns) {
        ++result.byRecord;
        if (got != s.utc) report("record", got);
      } else if (got != s.utc) {
        ++result.ruleDiffers;
      }
    }
    // The whole path re-reads the zone each time, so only every 7th sample.
    if (n % 7 == 0) {
      ++result.byZone;
      const std::int64_t got = DateTimeToUnix(LocalToUtc(s.local));
      if (got != s.utc) report("zone in force", got);
    }
  }
  return result;
}

void ExpectNoMismatches(const ZoneResult& result) {
  for (size_t n = 0; n < result.mismatches.size() && n < 20; ++n)
    ADD_FAILURE() << result.mismatches[n];
  EXPECT_TRUE(result.mismatches.empty()) << result.mismatches.size() << " mismatches";
}

TEST(ZoneOracle, EveryInstalledZoneAgreesWithTheCLibrary) {
  const int year = CurrentYear();
  const std::vector<std::string> names = ZoneNames();
  ASSERT_GE(names.size(), 100u) << "no zone files under " << kZoneDir
                                << " (is the tzdata package installed?)";
  int mRuleZones = 0, noDaylightZones = 0, otherZones = 0, recordZones = 0, fallbackZones = 0;
  long byRecord = 0, byZone = 0, skipped = 0;
  std::vector<std::string> mismatches, fallbacks;
  for (const std::string& name : names) {
    const ZoneResult r = CheckZone(name, year);
    if (r.kind == FooterKind::MRules) {
      ++mRuleZones;
      EXPECT_TRUE(r.mapped) << name << ": " << r.footer;
      EXPECT_GT(r.daylight, 0) << name << " has no daylight samples";
    } else if (r.kind == FooterKind::NoDaylight) {
      ++noDaylightZones;
      EXPECT_TRUE(r.mapped) << name << ": " << r.footer;
    } else {
      ++otherZones;
    }
    if (r.ruleGoverns) {
      ++recordZones;
    } else {
      ++fallbackZones;
      fallbacks.push_back(name);
    }
    byRecord += r.byRecord;
    byZone += r.byZone;
    skipped += r.skipped;
    mismatches.insert(mismatches.end(), r.mismatches.begin(), r.mismatches.end());
  }
  std::cout << "zone files " << names.size() << " (M-rule " << mRuleZones << ", no daylight "
            << noDaylightZones << ", other " << otherZones << "), year " << year << "\n"
            << "compared through the rule record: " << recordZones << " zones, " << byRecord
            << " instants; through the zone in force: " << byZone << " instants; skipped near "
            << "switches: " << skipped << "\nC library used instead of the record for "
            << fallbackZones << " zones:";
  for (const std::string& name : fallbacks) std::cout << ' ' << name;
  std::cout << std::endl;
  ZoneResult all;
  all.mismatches = mismatches;
  ExpectNoMismatches(all);
  EXPECT_GE(mRuleZones, 100);
  EXPECT_GT(byRecord, 50000);
}

TEST(ZoneOracle, ZonesOfEveryKindGoThroughTheRecord) {
  const int year = CurrentYear();
  // Daylight time across the turn of the year, negative daylight time, switch times below
  // zero or beyond 24 hours, half-hour and two-hour daylight steps; then zones without it.
  const char* const daylight[] = {"Australia/Sydney",    "Australia/Adelaide", "Pacific/Auckland",
                                  "America/Santiago",    "Pacific/Chatham",    "Europe/Dublin",
                                  "America/Nuuk",        "Asia/Gaza",          "Africa/Cairo",
                                  "Australia/Lord_Howe", "Antarctica/Troll",   "America/New_York"};
  const char* const standardOnly[] = {"Asia/Bangkok",   "Asia/Kolkata", "America/Sao_Paulo",
                                      "Asia/Kathmandu", "Etc/UTC",      "Etc/GMT+10"};
  for (const char* name : daylight) {
    SCOPED_TRACE(name);
    const ZoneResult r = CheckZone(name, year);
    EXPECT_EQ(r.kind, FooterKind::MRules) << r.footer;
    EXPECT_TRUE(r.ruleGoverns);
    EXPECT_GT(r.byRecord, 300);
    EXPECT_GT(r.daylight, 50);
    EXPECT_LT(r.daylight, r.byRecord - 50);
    ExpectNoMismatches(r);
  }
  for (const char* name : standardOnly) {
    SCOPED_TRACE(name);
    const ZoneResult r = CheckZone(name, year);
    EXPECT_EQ(r.kind, FooterKind::NoDaylight) << r.footer;
    EXPECT_TRUE(r.ruleGoverns);
    EXPECT_EQ(r.byRecord, 365);  // nothing skipped
    EXPECT_EQ(r.daylight, 0);
    ExpectNoMismatches(r);
  }
}

TEST(ZoneOracle, ListedChangesOutsideTheRuleUseTheCLibrary) {
  // Morocco's file lists a break from its standard time each Ramadan that its rule text
  // cannot express; the record alone would be an hour off then.
  const ZoneResult r = CheckZone("Africa/Casablanca", CurrentYear());
  EXPECT_TRUE(r.mapped);
  EXPECT_FALSE(r.ruleGoverns);
  EXPECT_GT(r.ruleDiffers, 0);
  EXPECT_GT(r.byZone, 40);
  ExpectNoMismatches(r);
}

}  // namespace
}  // namespace vxk
