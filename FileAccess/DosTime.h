#pragma once

#include <cstdint>
#include <string>

#include "FileAccess/DateTime.h"

namespace vxk {

// The device's packed date-time is the FAT layout with the date in the upper half:
// bits 31-25 year - 1980, 24-21 month, 20-16 day, 15-11 hour, 10-5 minute, 4-0 second / 2.
// On the wire it is the unsigned decimal text of the 32-bit value, "0" meaning none.

// Date-time of a packed value given as decimal text. Empty text, "0", text that is not a
// decimal number in 0..2147483647, and fields that make no valid date and time all give 0.
// Never throws.
TDateTime DosTimeToDateTime(const std::string& text);
// Date-time of a packed value (all 32 bits); 0 when its fields make no valid date and time.
TDateTime DosTimeValueToDateTime(std::uint32_t packed);

// Packed value of a date-time; milliseconds and the odd second are dropped. Dates outside
// 1980..2107 have no packed form and give 0, which is also what "no time" (0) gives.
std::uint32_t DateTimeToDosTime(TDateTime t);

// Last-write time of a local file as local time, at the packed form's two-second resolution;
// 0 when the file cannot be found or its time has no packed form.
TDateTime FileTimeOf(const std::string& path);

// Cuts the first TAB-separated field off text and returns it: the field is everything before
// the first TAB and text keeps what follows it; without a TAB the field is the whole text and
// text becomes empty.
std::string SplitTab(std::string& text);

}  // namespace vxk
