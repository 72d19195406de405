#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vxk {

// Date-time as a day count: whole days since 1899-12-30 00:00 plus the fraction of the day,
// local time unless said otherwise; 0 stands for "no time". Before the base day the whole part
// is negative and the fraction still counts forward (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

// Day count of 1970-01-01 00:00.
constexpr TDateTime kUnixEpochDays = 25569.0;

bool IsLeapYear(int year);
// Days of the month (1..12) in that year; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// Builds a date-time from its fields (year 1..9999); false when a field is out of range.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       int millisecond, TDateTime& result);
// As TryEncodeDateTime, throwing std::invalid_argument for invalid fields.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);
TDateTime EncodeDate(int year, int month, int day);

// Splits a date-time into its fields, rounded to the nearest millisecond (a value a hair
// below 12:34:56 comes back as 12:34:56.000, and rounding up past midnight moves the day on).
void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& millisecond);
void DecodeDate(TDateTime t, int& year, int& month, int& day);

// Weekday of the date, 0 = Sunday .. 6 = Saturday.
int DayOfWeek(TDateTime t);

// "yyyy-mm-dd hh:nn:ss", 24-hour clock, all fields zero-padded.
std::string FormatDateTime(TDateTime t);

// Seconds since 1970-01-01 00:00 of a date-time taken as UTC (milliseconds dropped), and back.
std::int64_t DateTimeToUnix(TDateTime t);
TDateTime UnixToDateTime(std::int64_t seconds, int millisecond = 0);

// Local wall-clock date-time of a calendar time, by the C library's zone (localtime_r).
// Throws std::runtime_error when the C library cannot convert it.
TDateTime TimeToLocalDateTime(std::time_t t);
// Calendar time of a local wall-clock date-time by the C library (mktime, daylight time decided
// by the zone); milliseconds dropped. Throws std::runtime_error when out of range.
std::time_t LocalDateTimeToTime(TDateTime t);

// The PC's current local time, to the millisecond.
TDateTime Now();

}  // namespace vxk
