#include "FileAccess/DateTime.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace vxk {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Day counts of 0001-01-01 and 9999-12-31.
constexpr std::int64_t kMinDay = -693593;
constexpr std::int64_t kMaxDay = 2958465;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// Day count and millisecond of the day, rounded to the millisecond; false for values that are
// not finite or lie outside years 1..9999.
bool SplitDateTime(TDateTime t, std::int64_t& dayCount, std::int64_t& msOfDay) {
  if (!std::isfinite(t) || t < kMinDay - 1.0 || t > kMaxDay + 1.0) return false;
  const double whole = std::trunc(t);
  dayCount = static_cast<std::int64_t>(whole);
  msOfDay = std::llround(std::fabs(t - whole) * kMsPerDay);
  if (msOfDay >= kMsPerDay) {
    msOfDay -= kMsPerDay;
    ++dayCount;
  }
  return dayCount >= kMinDay && dayCount <= kMaxDay;
}

TDateTime JoinDateTime(std::int64_t dayCount, std::int64_t msOfDay) {
  const double fraction = static_cast<double>(msOfDay) / kMsPerDay;
  const double days = static_cast<double>(dayCount);
  return dayCount >= 0 ? days + fraction : days - fraction;
}

void DecodeOrThrow(TDateTime t, std::int64_t& dayCount, std::int64_t& msOfDay) {
  if (!SplitDateTime(t, dayCount, msOfDay))
    throw std::invalid_argument("date-time value out of range");
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || millisecond < 0 || millisecond > 999)
    return false;
  const std::int64_t dayCount = DaysFromCivil(year, month, day) + 25569;
  const std::int64_t msOfDay =
      ((static_cast<std::int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  result = JoinDateTime(dayCount, msOfDay);
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  TDateTime t = 0;
  if (!TryEncodeDateTime(year, month, day, hour, minute, second, millisecond, t))
    throw std::invalid_argument("invalid date or time");
  return t;
}

TDateTime EncodeDate(int year, int month, int day) {
  return EncodeDateTime(year, month, day, 0, 0, 0, 0);
}

void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond) {
  std::int64_t dayCount = 0;
  std::int64_t ms = 0;
  DecodeOrThrow(t, dayCount, ms);
  CivilFromDays(dayCount - 25569, year, month, day);
  millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  second = static_cast<int>(ms % 60);
  ms /= 60;
  minute = static_cast<int>(ms % 60);
  hour = static_cast<int>(ms / 60);
}

void DecodeDate(TDateTime t, int& year, int& month, int& day) {
  int hour, minute, second, ms;
  DecodeDateTime(t, year, month, day, hour, minute, second, ms);
}

int DayOfWeek(TDateTime t) {
  std::int64_t dayCount = 0;
  std::int64_t ms = 0;
  DecodeOrThrow(t, dayCount, ms);
  // Day 0, 1899-12-30, was a Saturday.
  return static_cast<int>(((dayCount % 7) + 7 + 6) % 7);
}

std::string FormatDateTime(TDateTime t) {
  int y, m, d, h, n, s, ms;
  DecodeDateTime(t, y, m, d, h, n, s, ms);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, h, n, s);
  return text;
}

std::int64_t DateTimeToUnix(TDateTime t) {
  std::int64_t dayCount = 0;
  std::int64_t ms = 0;
  DecodeOrThrow(t, dayCount, ms);
  return (dayCount - 25569) * 86400 + ms / 1000;
}

TDateTime UnixToDateTime(std::int64_t seconds, int millisecond) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const std::int64_t dayCount = days + 25569;
  if (dayCount < kMinDay || dayCount > kMaxDay || millisecond < 0 || millisecond > 999)
    throw std::invalid_argument("time out of range");
  return JoinDateTime(dayCount, rest * 1000 + millisecond);
}

TDateTime TimeToLocalDateTime(std::time_t t) {
  std::tm tm{};
  if (!localtime_r(&t, &tm)) throw std::runtime_error("cannot convert the time to local time");
  TDateTime result = 0;
  if (!TryEncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                         tm.tm_sec > 59 ? 59 : tm.tm_sec, 0, result))
    throw std::runtime_error("local time out of range");
  return result;
}

std::time_t LocalDateTimeToTime(TDateTime t) {
  int y, m, d, h, n, s, ms;
  DecodeDateTime(t, y, m, d, h, n, s, ms);
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = n;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  errno = 0;
  const std::time_t result = std::mktime(&tm);
  // -1 is also a valid time (one second before 1970); only an error sets errno.
  if (result == static_cast<std::time_t>(-1) && errno != 0)
    throw std::runtime_error("local time cannot be converted to a calendar time");
  return result;
}

TDateTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm tm{};
  if (!localtime_r(&now.tv_sec, &tm))
    throw std::runtime_error("cannot convert the time to local time");
  return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec > 59 ? 59 : tm.tm_sec, static_cast<int>(now.tv_nsec / 1000000));
}

}  // namespace vxk
