#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "comms/vxComms.h"

namespace vxk {

// Reads one line of a TCP device's connection header from channel 0 of a link, a step at a
// time, so that a caller on the window thread waits no longer than it chooses. The line is
// the bytes up to CR, with LF dropped, cut at kMaxLine bytes. It ends empty when its next byte
// is later than byteTimeoutMs after the one before (or after the start), or when the deadline
// (a tick; negative for none) has passed; a link whose device has gone ends it with what it
// has. Bytes that arrived between two steps count as in time.
class HeaderLineReader {
 public:
  static constexpr size_t kMaxLine = 16384;

  HeaderLineReader(TvxComms& link, int byteTimeoutMs, int64_t deadline);

  // Takes what has arrived, waiting at most waitMs (negative: as long as the line may take).
  // True when the line has ended; Take then gives it.
  bool Continue(int waitMs);
  // The ended line; the reader goes on with the next one, its first byte due from now.
  std::string Take();

 private:
  bool End(bool keep);

  TvxComms& link_;
  int byteTimeoutMs_;
  int64_t deadline_;
  int64_t byteDue_;
  std::string line_;
  bool ended_ = false;
};

}  // namespace vxk
