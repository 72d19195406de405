// Packed date-time texts and POSIX zone rule texts.
#include <cstdint>
#include <cstring>
#include <string>

#include "FileAccess/DateTime.h"
#include "FileAccess/Dates.h"
#include "FileAccess/DosTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const vxk::TDateTime t = vxk::DosTimeToDateTime(text);
  vxk::FormatDateTime(t);
  vxk::DateTimeToDosTime(t);

  vxk::ZoneInformation zone;
  if (vxk::ParsePosixTz(text, zone)) {
    for (const vxk::TDateTime probe : {t, 45000.5, 0.0, -693593.0 + 1, 2958465.0}) {
      try {
        vxk::LocalToUtc(probe, zone);
      } catch (const std::exception&) {
        // A date outside the calendar is refused, not a fault.
      }
    }
  }
  // Eight bytes as a raw date-time value, NaN and infinities included.
  if (size >= 8) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    vxk::DateTimeToDosTime(raw);
    try {
      vxk::FormatDateTime(raw);
    } catch (const std::exception&) {
    }
  }
  return 0;
}
