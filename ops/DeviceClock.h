#pragma once

#include <string>

#include "FileAccess/DateTime.h"

namespace vxk {

// The time in a device's answer to "TIME": the first "yyyy-mm-dd hh:nn:ss" in it (a "T" may
// stand for the blank). "UTC" before it marks a UTC time; without it the time is taken as the
// device's local time.
struct DeviceClock {
  bool found = false;
  bool utc = false;
  TDateTime time = 0;
};
DeviceClock ParseDeviceClock(const std::string& reply);

// ISO 8601: "yyyy-mm-ddThh:nn:ss", with "Z" for UTC.
std::string IsoDateTime(TDateTime time, bool utc);

}  // namespace vxk
