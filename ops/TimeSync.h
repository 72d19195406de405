#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "FileAccess/DateTime.h"
#include "comms/OpResult.h"
#include "comms/vxTerminal.h"

namespace vxk {

// The PC's clock as one reading: milliseconds since 1970-01-01 00:00 UTC. Tests set their own.
using UtcClock = std::function<int64_t()>;
int64_t SystemUtcMs();

// The PC's times at one instant: UTC, local time and the offset between them (local minus
// UTC, in whole minutes), all derived from that same instant, so the hour repeated when
// daylight time ends is never mistaken for the other one.
struct PcTimes {
  TDateTime utc = 0;
  TDateTime local = 0;
  int offsetMinutes = 0;
};
// Throws std::runtime_error when the C library cannot convert the instant.
PcTimes PcTimesAt(int64_t utcMs);

// The three lines shown for the PC, joined by CR LF.
std::string PcTimeText(const PcTimes& times);

// The offset typed by the user: an optional sign and decimal digits, nothing else; 0 for any
// other text or a value beyond 32 bits.
int ParseOffsetMinutes(const std::string& text);

// "TIME yyyy-mm-dd hh:nn:ss N": the UTC time one second after the instant, and the offset.
std::string TimeCommand(int64_t utcMs, int offsetMinutes);

struct DeviceTimeResult {
  OpResult result;    // TimedOut when the device said nothing
  std::string reply;  // the device's answer to "TIME", exactly as received (empty on silence)
};

// How far the device's clock is ahead of the PC's (negative: behind), in whole seconds: the
// time in its answer to "TIME" against the PC's times when the answer came (the device counts
// whole seconds, so the PC's are cut to whole seconds too). Nothing when the answer holds no
// time.
std::optional<int64_t> DeviceMinusPcSeconds(const std::string& reply, const PcTimes& pc);

// Asks the device for its clock with "TIME".
DeviceTimeResult ReadDeviceTime(TvxTerminal& terminal);
// Sends a setting command built by TimeCommand; the device's answer is not examined.
OpResult SetDeviceTime(TvxTerminal& terminal, const std::string& command);

}  // namespace vxk
