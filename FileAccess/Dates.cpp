#include "FileAccess/Dates.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

namespace vxk {

namespace {

constexpr double kMsPerDay = 86400000.0;

// ---------------------------------------------------------------------------------------------
// POSIX TZ rule text

enum class RuleParse { Mapped, Unmapped, Malformed };

class PosixRuleParser {
 public:
  explicit PosixRuleParser(const std::string& text) : s_(text) {}

  RuleParse Parse(ZoneInformation& out) {
    long stdOffset = 0;
    if (!Name() || !Offset(stdOffset, 24)) return RuleParse::Malformed;
    ZoneInformation zone;
    if (AtEnd()) {
      if (stdOffset % 60 != 0) return RuleParse::Unmapped;
      zone.bias = static_cast<int>(stdOffset / 60);
      out = zone;
      return RuleParse::Mapped;
    }
    if (!Name()) return RuleParse::Malformed;
    long dstOffset = stdOffset - 3600;
    if (!AtEnd() && s_[i_] != ',' && !Offset(dstOffset, 24)) return RuleParse::Malformed;
    // Daylight time without rules takes the system's default rules, which we cannot know.
    if (AtEnd()) return RuleParse::Unmapped;
    bool mappable = true;
    if (!Take(',') || !Rule(zone.daylightDate, mappable) || !Take(',') ||
        !Rule(zone.standardDate, mappable) || !AtEnd())
      return RuleParse::Malformed;
    if (!mappable || stdOffset % 60 != 0 || dstOffset % 60 != 0) return RuleParse::Unmapped;
    zone.bias = static_cast<int>(stdOffset / 60);
    zone.standardBias = 0;
    zone.daylightBias = static_cast<int>((dstOffset - stdOffset) / 60);
    out = zone;
    return RuleParse::Mapped;
  }

 private:
  bool AtEnd() const { return i_ >= s_.size(); }
  bool Take(char c) {
    if (AtEnd() || s_[i_] != c) return false;
    ++i_;
    return true;
  }
  bool Digit() const { return !AtEnd() && std::isdigit(static_cast<unsigned char>(s_[i_])); }

  // Zone abbreviation: three or more letters, or <...> with letters, digits, '+' and '-'.
  bool Name() {
    const size_t start = i_;
    if (Take('<')) {
      while (!AtEnd() &&
             (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '+' || s_[i_] == '-'))
        ++i_;
      const size_t length = i_ - start - 1;
      return Take('>') && length >= 3;
    }
    while (!AtEnd() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ - start >= 3;
  }

  bool Number(long& value, int maxDigits) {
    if (!Digit()) return false;
    value = 0;
    for (int n = 0; n < maxDigits && Digit(); ++n) value = value * 10 + (s_[i_++] - '0');
    return !Digit();
  }

  // [+|-]hh[:mm[:ss]] in seconds; hours up to maxHours.
  bool Offset(long& seconds, long maxHours) {
    long sign = 1;
    if (Take('-'))
      sign = -1;
    else
      Take('+');
    long h = 0, m = 0, sec = 0;
    if (!Number(h, 3) || h > maxHours) return false;
    if (Take(':')) {
      if (!Number(m, 2) || m > 59) return false;
      if (Take(':') && (!Number(sec, 2) || sec > 59)) return false;
    }
    seconds = sign * (h * 3600 + m * 60 + sec);
    return true;
  }

  // Jn, n or Mm.w.d, then an optional /time (default 02:00). Only Mm.w.d fits the record.
  bool Rule(ZoneRule& rule, bool& mappable) {
    long value = 0;
    if (Take('J')) {
      if (!Number(value, 3) || value < 1 || value > 365) return false;
      mappable = false;
    } else if (Take('M')) {
      long month = 0, week = 0, weekday = 0;
      if (!Number(month, 2) || month < 1 || month > 12 || !Take('.') || !Number(week, 1) ||
          week < 1 || week > 5 || !Take('.') || !Number(weekday, 1) || weekday > 6)
        return false;
      rule = ZoneRule{};
      rule.month = static_cast<int>(month);
      rule.day = static_cast<int>(week);
      rule.dayOfWeek = static_cast<int>(weekday);
    } else {
      if (!Number(value, 3) || value > 365) return false;
      mappable = false;
    }
    long time = 7200;
    if (Take('/') && !Offset(time, 167)) return false;
    // Hour carries the sign and any days; minute and second stay in 0..59.
    long hour = time / 3600;
    long rest = time % 3600;
    if (rest < 0) {
      rest += 3600;
      --hour;
    }
    rule.hour = static_cast<int>(hour);
    rule.minute = static_cast<int>(rest / 60);
    rule.second = static_cast<int>(rest % 60);
    return true;
  }

  const std::string& s_;
  size_t i_ = 0;
};

RuleParse ParseRule(const std::string& text, ZoneInformation& out) {
  return PosixRuleParser(text).Parse(out);
}

// ---------------------------------------------------------------------------------------------
// TZif zone files

struct ZoneFileData {
  std::string footer;
  std::int32_t initialOffset = 0;
  std::vector<ZoneChange> changes;
};

class TzifReader {
 public:
  TzifReader(const std::string& path, const std::string& bytes) : path_(path), b_(bytes) {}

  ZoneFileData Read() {
    size_t pos = 0;
    Counts counts = Header(pos);
    const char version = b_[4];
    if (version == '\0') return Block(pos, counts, 4);
    pos += DataSize(counts, 4);
    Counts counts64 = Header(pos);
    ZoneFileData data = Block(pos, counts64, 8);
    pos += DataSize(counts64, 8);
    // The footer sits between two newlines right after the 64-bit data.
    if (pos >= b_.size() || b_[pos] != '\n') Fail("no footer");
    const size_t end = b_.find('\n', pos + 1);
    if (end == std::string::npos) Fail("unterminated footer");
    data.footer = b_.substr(pos + 1, end - pos - 1);
    return data;
  }

 private:
  struct Counts {
    std::uint32_t isut, isstd, leap, time, type, chars;
  };

  [[noreturn]] void Fail(const char* what) const {
    throw ZoneError("invalid time zone file " + path_ + ": " + what);
  }

  std::uint32_t U32(size_t pos) const {
    if (pos + 4 > b_.size()) Fail("truncated");
    std::uint32_t v = 0;
    for (int n = 0; n < 4; ++n) v = (v << 8) | static_cast<unsigned char>(b_[pos + n]);
    return v;
  }
  std::int64_t I64(size_t pos) const {
    const std::uint64_t v = (static_cast<std::uint64_t>(U32(pos)) << 32) | U32(pos + 4);
    return static_cast<std::int64_t>(v);
  }

  Counts Header(size_t& pos) const {
    if (pos + 44 > b_.size() || b_.compare(pos, 4, "TZif") != 0) Fail("not a TZif file");
    Counts c{U32(pos + 20), U32(pos + 24), U32(pos + 28),
             U32(pos + 32), U32(pos + 36), U32(pos + 40)};
    if (c.type == 0 || c.chars == 0 || (c.isut != 0 && c.isut != c.type) ||
        (c.isstd != 0 && c.isstd != c.type))
      Fail("bad header");
    pos += 44;
    return c;
  }

  static std::uint64_t DataSize(const Counts& c, unsigned timeSize) {
    return std::uint64_t{c.time} * timeSize + c.time + std::uint64_t{c.type} * 6 + c.chars +
           std::uint64_t{c.leap} * (timeSize + 4) + c.isstd + c.isut;
  }

  ZoneFileData Block(size_t pos, const Counts& c, unsigned timeSize) const {
    if (pos + DataSize(c, timeSize) > b_.size()) Fail("truncated");
    const size_t indexPos = pos + std::size_t{c.time} * timeSize;
    const size_t typePos = indexPos + c.time;
    ZoneFileData data;
    auto offsetOf = [&](std::uint32_t type) {
      return static_cast<std::int32_t>(U32(typePos + std::size_t{type} * 6));
    };
    data.initialOffset = offsetOf(0);
    data.changes.reserve(c.time);
    for (std::uint32_t n = 0; n < c.time; ++n) {
      const std::int64_t when = timeSize == 8 ? I64(pos + std::size_t{n} * 8)
                                              : static_cast<std::int32_t>(U32(pos + n * 4));
      const std::uint32_t type = static_cast<unsigned char>(b_[indexPos + n]);
      if (type >= c.type) Fail("bad type index");
      if (!data.changes.empty() && when <= data.changes.back().utc) Fail("unordered changes");
      data.changes.push_back(ZoneChange{when, offsetOf(type)});
    }
    return data;
  }

  const std::string& path_;
  const std::string& b_;
};

ZoneFileData ReadZoneFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ZoneError("cannot read time zone file " + path + ": " + std::strerror(errno));
  // Zone files are a few kilobytes; anything far larger is not one.
  constexpr size_t kMaxSize = 1 << 20;
  std::string bytes;
  char buffer[8192];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxSize) throw ZoneError("invalid time zone file " + path + ": too large");
  }
  if (in.bad()) throw ZoneError("cannot read time zone file " + path);
  return TzifReader(path, bytes).Read();
}

// ---------------------------------------------------------------------------------------------
// The zone in force

std::string ZoneDirectory() {
  const char* dir = std::getenv("TZDIR");
  return dir && *dir ? dir : "/usr/share/zoneinfo";
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

LocalZone UtcZone() {
  LocalZone zone;
  zone.source = "UTC";
  zone.rule = "UTC0";
  zone.mapped = true;
  return zone;
}

LocalZone ZoneFromFile(const std::string& path, ZoneFileData data) {
  LocalZone zone;
  zone.source = path;
  zone.fromFile = true;
  zone.rule = std::move(data.footer);
  zone.initialOffset = data.initialOffset;
  zone.changes = std::move(data.changes);
  // A missing or unusable footer leaves the zone unmapped: the C library converts then.
  zone.mapped = !zone.rule.empty() && ParseRule(zone.rule, zone.info) == RuleParse::Mapped;
  return zone;
}

LocalZone SystemDefaultZone() {
  const std::string path = "/etc/localtime";
  struct stat info {};
  // Without /etc/localtime the C library works in UTC, so that is the zone in force.
  if (stat(path.c_str(), &info) != 0 && errno == ENOENT) return UtcZone();
  return ZoneFromFile(path, ReadZoneFile(path));
}

// ---------------------------------------------------------------------------------------------
// Rules in force

bool HasDaylightRules(const ZoneInformation& zone) {
  return zone.standardDate.month != 0 && zone.daylightDate.month != 0;
}

// Minutes to add to local time to get UTC.
int UtcBias(const ZoneInformation& zone, bool daylight) {
  if (!HasDaylightRules(zone)) return zone.bias;
  return zone.bias + (daylight ? zone.daylightBias : zone.standardBias);
}

// A rule's UTC offsets through one year, looked up by UTC instant.
class RuleOffsets {
 public:
  RuleOffsets(const ZoneInformation& zone, int year) : zone_(zone) {
    if (!HasDaylightRules(zone)) return;
    const TDateTime newYear = EncodeDate(year, 1, 1);
    // The switch into daylight time is in standard local time, the switch back in daylight.
    into_ = DateTimeToUnix(ZoneTransition(zone.daylightDate, newYear)) + UtcBias(zone, false) * 60;
    back_ = DateTimeToUnix(ZoneTransition(zone.standardDate, newYear)) + UtcBias(zone, true) * 60;
    switches_ = {into_, back_};
  }

  // Seconds east of UTC at that instant.
  std::int64_t At(std::int64_t utc) const {
    bool daylight = false;
    if (!switches_.empty())
      daylight = into_ < back_ ? utc >= into_ && utc < back_ : utc >= into_ || utc < back_;
    return -std::int64_t{UtcBias(zone_, daylight)} * 60;
  }

  const std::vector<std::int64_t>& Switches() const { return switches_; }

 private:
  const ZoneInformation& zone_;
  std::int64_t into_ = 0;
  std::int64_t back_ = 0;
  std::vector<std::int64_t> switches_;
};

// Seconds east of UTC at that instant by the changes the zone file lists.
std::int64_t ListedOffset(const LocalZone& zone, std::int64_t utc) {
  const auto next = std::upper_bound(
      zone.changes.begin(), zone.changes.end(), utc,
      [](std::int64_t when, const ZoneChange& change) { return when < change.utc; });
  return next == zone.changes.begin() ? zone.initialOffset : std::prev(next)->utcOffset;
}

}  // namespace

TDateTime ZoneTransition(const ZoneRule& rule, TDateTime t) {
  if (rule.month < 1 || rule.month > 12) throw ZoneError("zone rule without a valid month");
  TDateTime date = 0;
  if (rule.year != 0) {
    if (!TryEncodeDateTime(rule.year, rule.month, rule.day, 0, 0, 0, 0, date))
      throw ZoneError("zone rule with an invalid date");
  } else {
    if (rule.dayOfWeek < 0 || rule.dayOfWeek > 6 || rule.day < 1 || rule.day > 5)
      throw ZoneError("zone rule with an invalid weekday or week");
    int year, month, day;
    DecodeDate(t, year, month, day);
    const int first = DayOfWeek(EncodeDate(year, rule.month, 1));
    int dayOfMonth = rule.day * 7 - 7 + (rule.dayOfWeek - first + 7) % 7 + 1;
    if (dayOfMonth > DaysInMonth(year, rule.month)) dayOfMonth -= 7;
    date = EncodeDate(year, rule.month, dayOfMonth);
  }
  const double ms =
      ((static_cast<double>(rule.hour) * 60 + rule.minute) * 60 + rule.second) * 1000 +
      rule.millisecond;
  return date + ms / kMsPerDay;
}

bool IsDaylightTime(const ZoneInformation& zone, TDateTime t) {
  if (!HasDaylightRules(zone)) return false;
  // s is daylight local time and d standard local time, each the clock reading at the moment
  // of its switch, so both compare directly with the local clock reading t.
  const TDateTime s = ZoneTransition(zone.standardDate, t);
  const TDateTime d = ZoneTransition(zone.daylightDate, t);
  if (d < s) return d <= t && t <= s;
  // Daylight time across the turn of the year (southern hemisphere, or a zone whose "daylight"
  // time is its winter time).
  return t >= d || t <= s;
}

TDateTime LocalToUtc(TDateTime t, const ZoneInformation& zone) {
  return t + UtcBias(zone, IsDaylightTime(zone, t)) / 1440.0;
}

TDateTime LocalToUtc(TDateTime t) {
  const LocalZone zone = ReadLocalZone();
  int year, month, day, hour, minute, second, ms;
  DecodeDateTime(t, year, month, day, hour, minute, second, ms);
  if (RuleGovernsYear(zone, year)) return LocalToUtc(t, zone.info);
  // The record cannot describe the zone for that year (Jn or n day rules, no rule text, or
  // listed changes that depart from the rule, such as announced changes or Ramadan breaks):
  // the C library converts this instant from the same zone data instead.
  tzset();
  return UnixToDateTime(LocalDateTimeToTime(t), ms);
}

bool ParsePosixTz(const std::string& rule, ZoneInformation& out) {
  return ParseRule(rule, out) == RuleParse::Mapped;
}

std::string TzifFooter(const std::string& path) {
  return ReadZoneFile(path).footer;
}

LocalZone ReadLocalZone() {
  const char* tz = std::getenv("TZ");
  if (!tz) return SystemDefaultZone();
  std::string value = tz;
  if (value.empty()) return UtcZone();
  const bool namesFile = value[0] == ':';
  if (namesFile) {
    value.erase(0, 1);
    if (value.empty()) return SystemDefaultZone();
  }
  const std::string path = value[0] == '/' ? value : ZoneDirectory() + "/" + value;
  if (namesFile) return ZoneFromFile(path, ReadZoneFile(path));
  // As the C library does: a zone file of that name first, else the text is a rule itself.
  std::string fileError;
  if (IsRegularFile(path)) {
    try {
      return ZoneFromFile(path, ReadZoneFile(path));
    } catch (const ZoneError& e) {
      fileError = e.what();
    }
  }
  LocalZone zone;
  zone.source = value;
  zone.rule = value;
  switch (ParseRule(value, zone.info)) {
    case RuleParse::Mapped:
      zone.mapped = true;
      return zone;
    case RuleParse::Unmapped:
      return zone;
    case RuleParse::Malformed:
      break;
  }
  if (!fileError.empty()) throw ZoneError(fileError);
  throw ZoneError("cannot read time zone \"" + value + "\": no zone file and no valid rule");
}

bool RuleGovernsYear(const LocalZone& zone, int year) {
  if (!zone.mapped) return false;
  if (!zone.fromFile || zone.changes.empty()) return true;
  if (year < 1 || year > 9999) return false;
  // The listed changes rule up to the last of them and the rule after it. Both must agree
  // where they overlap; the first day and the last two days of the year are left out, as a switch
  // there would be taken from the neighbouring year.
  const std::int64_t first = DateTimeToUnix(EncodeDate(year, 1, 2));
  const std::int64_t last =
      std::min(DateTimeToUnix(EncodeDate(year, 12, 30)), zone.changes.back().utc);
  if (last < first) return true;
  const RuleOffsets rule(zone.info, year);
  std::vector<std::int64_t> points{first};
  for (const ZoneChange& change : zone.changes)
    if (change.utc > first && change.utc <= last) points.push_back(change.utc);
  for (std::int64_t when : rule.Switches())
    if (when > first && when <= last) points.push_back(when);
  // Two step functions that agree at the start and on both sides of every step agree
  // throughout.
  for (std::int64_t when : points) {
    if (ListedOffset(zone, when) != rule.At(when)) return false;
    if (when != first && ListedOffset(zone, when - 1) != rule.At(when - 1)) return false;
  }
  return true;
}

}  // namespace vxk
