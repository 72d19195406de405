#pragma once

#include <cstdint>

namespace vxk {

// Milliseconds of a monotonic clock; the program's tick count.
int64_t TickCount();

// Blocks the calling thread for ms milliseconds (nothing for 0 or less).
void SleepMs(int ms);

}  // namespace vxk
