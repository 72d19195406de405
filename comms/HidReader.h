#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "comms/HidDevice.h"

namespace vxk {

// Reads one open HID interface continuously on a thread of its own into a bounded queue of
// input reports. hidapi keeps only about 30 reports between reads and drops the oldest beyond
// that; queueing here lets a burst of device output wait for the next poll instead.
// The thread starts with the object and is stopped and joined by the destructor, which must
// run before the device is closed. Reads run in short slices so that stopping is quick.
class HidReader {
 public:
  // At least the 1024 input buffers a HID driver is asked to keep.
  static constexpr size_t kQueueReports = 2048;
  // Longest single device read; bounds how long stopping takes.
  static constexpr int kSliceMs = 20;

  // reportBytes: room for the largest input report.
  HidReader(HidDevice& device, size_t reportBytes);
  ~HidReader();
  HidReader(const HidReader&) = delete;
  HidReader& operator=(const HidReader&) = delete;

  // Takes the oldest queued report into buf (at most len bytes). Waits up to timeoutMs for one
  // (0: takes only what is queued). Returns the bytes delivered, 0 for an empty report, -1 when
  // none came in time, -2 once the device has failed and every report before the failure has
  // been taken.
  int Take(unsigned char* buf, size_t len, int timeoutMs);
  // The first byte of the oldest queued report, left in the queue; waits up to timeoutMs for
  // one. -1 when none came in time (or the report is empty, or the device has failed).
  int PeekFirstByte(int timeoutMs);

 private:
  void Run();

  HidDevice& device_;
  const size_t reportBytes_;
  std::mutex mutex_;
  std::condition_variable arrived_;  // a report was queued, or the device failed
  std::condition_variable room_;     // the queue has room, or the reader is to stop
  std::deque<std::string> queue_;
  bool failed_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the members above are ready
};

}  // namespace vxk
