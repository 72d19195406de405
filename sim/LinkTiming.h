#pragma once

#include <cstddef>

namespace vxk {

// The receive buffer of the virtual device's TCP end: a logger's TCP stack takes a few KiB at a
// time, so the tool's socket cannot swallow a whole upload the way loopback otherwise would.
constexpr int kDeviceTcpReceiveBytes = 16384;

// How a stream transport delays and paces the bytes between the tool and a virtual device,
// for tests of the tool's waits. All zero: bytes pass as fast as the connection takes them.
struct LinkTiming {
  int toDeviceLatencyMs = 0;  // host bytes reach the device this long after they arrived
  int toHostLatencyMs = 0;    // device output is written this long after it was made
  size_t chunkBytes = 0;      // output goes out in pieces of at most this many bytes ...
  int chunkGapMs = 0;         // ... with this pause after each piece
  // Both directions are paced to this line rate (0: no limit). Host bytes are taken from the
  // connection only as fast as the line carries them, so the rest waits in the connection
  // (a pseudo-terminal holds about as much as a serial driver's queue).
  long bytesPerSecond = 0;

  bool Plain() const {
    return toDeviceLatencyMs <= 0 && toHostLatencyMs <= 0 && chunkBytes == 0 && bytesPerSecond <= 0;
  }
};

}  // namespace vxk
