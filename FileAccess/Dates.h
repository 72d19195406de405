#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileAccess/DateTime.h"

namespace vxk {

// One switch between standard and daylight time.
// month == 0: no rule (the zone has no daylight time).
// year != 0: an absolute local date (year, month, day) plus the time of day.
// year == 0: every year on the n-th weekday dayOfWeek (0 = Sunday) of month, n in day
//   (1..5, 5 = the last one in the month), at the time of day.
// hour may lie outside 0..23: the time then falls on an earlier or later day (POSIX rules
// allow -167..167 hours); minute, second and millisecond are 0..59, 0..59, 0..999.
struct ZoneRule {
  int year = 0;
  int month = 0;
  int dayOfWeek = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// A zone's rules, all biases in minutes: UTC = local + bias + standardBias in standard time,
// UTC = local + bias + daylightBias in daylight time. standardDate is the switch back to
// standard time, given in daylight local time; daylightDate is the switch into daylight
// time, given in standard local time.
struct ZoneInformation {
  int bias = 0;
  int standardBias = 0;
  int daylightBias = 0;
  ZoneRule standardDate;
  ZoneRule daylightDate;
};

// The zone in force cannot be read, or a rule record is unusable.
class ZoneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Local date-time of the rule's switch in the year of t.
TDateTime ZoneTransition(const ZoneRule& rule, TDateTime t);
// Whether the local date-time t lies in the zone's daylight time. Handles daylight periods
// that span the turn of the year (daylight when t >= switch into it or t <= switch back).
bool IsDaylightTime(const ZoneInformation& zone, TDateTime t);
// UTC of the local date-time t by the given rules.
TDateTime LocalToUtc(TDateTime t, const ZoneInformation& zone);
// UTC of the local date-time t by the zone in force (TZ, else /etc/localtime).
// Throws ZoneError when that zone cannot be read.
TDateTime LocalToUtc(TDateTime t);

// Turns a POSIX TZ rule text such as "CET-1CEST,M3.5.0,M10.5.0/3" into zone rules. A zone
// without daylight time gives month-0 rules. False for malformed text and for forms the
// record cannot hold (Jn and n day rules, daylight time without rules, offsets in seconds).
bool ParsePosixTz(const std::string& rule, ZoneInformation& out);

// The POSIX rule text stored after the data of a TZif zone file (version 2 and later);
// empty for a version 1 file or a file without one. Throws ZoneError when the file cannot be
// read or is not a valid TZif file.
std::string TzifFooter(const std::string& path);

// A change of the UTC offset listed in a zone file: from utc on (seconds since 1970),
// local = UTC + utcOffset seconds.
struct ZoneChange {
  std::int64_t utc = 0;
  std::int32_t utcOffset = 0;
};

// The zone in force as read from the system.
struct LocalZone {
  std::string source;   // zone file path, or the TZ text when that is a rule itself
  std::string rule;     // POSIX rule text ("" when there is none)
  bool mapped = false;  // the rule was turned into info
  ZoneInformation info;
  bool fromFile = false;            // changes and initialOffset come from a zone file
  std::int32_t initialOffset = 0;   // UTC offset (seconds) before the first listed change
  std::vector<ZoneChange> changes;  // ascending
};

// Reads the zone the C library uses: the TZ variable (a rule text, or a zone file name with
// or without a leading ':'), else /etc/localtime (UTC when there is none, as for the C
// library). Throws ZoneError when that zone cannot be read.
LocalZone ReadLocalZone();

// Whether the zone's rule record describes the whole year: the rule was mapped, and where
// the zone file lists changes for that year, they agree with the rule's offsets and switches.
bool RuleGovernsYear(const LocalZone& zone, int year);

}  // namespace vxk
