#include "ops/DeviceClock.h"

#include <cctype>

namespace vxk {
namespace {

bool Digits(const std::string& s, size_t at, size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// The date-time at s[at], laid out as "yyyy-mm-dd hh:nn:ss".
bool DateTimeAt(const std::string& s, size_t at, TDateTime& time) {
  int y, mo, d, h, mi, se;
  if (!Digits(s, at, 4, y) || s[at + 4] != '-' || !Digits(s, at + 5, 2, mo) || s[at + 7] != '-' ||
      !Digits(s, at + 8, 2, d) || (s[at + 10] != ' ' && s[at + 10] != 'T') ||
      !Digits(s, at + 11, 2, h) || s[at + 13] != ':' || !Digits(s, at + 14, 2, mi) ||
      s[at + 16] != ':' || !Digits(s, at + 17, 2, se))
    return false;
  // Digits before it would make it part of a longer number.
  if (at > 0 && std::isdigit(static_cast<unsigned char>(s[at - 1]))) return false;
  return TryEncodeDateTime(y, mo, d, h, mi, se, 0, time);
}

}  // namespace

DeviceClock ParseDeviceClock(const std::string& reply) {
  DeviceClock clock;
  for (size_t at = 0; at + 19 <= reply.size(); ++at) {
    if (DateTimeAt(reply, at, clock.time)) {
      clock.found = true;
      clock.utc = reply.rfind("UTC", at) != std::string::npos;
      return clock;
    }
  }
  return clock;
}

std::string IsoDateTime(TDateTime time, bool utc) {
  std::string text = FormatDateTime(time);
  text[10] = 'T';
  return utc ? text + "Z" : text;
}

}  // namespace vxk
