#include "comms/HeaderLineReader.h"

#include <algorithm>

#include "comms/Packet.h"
#include "comms/Ticks.h"

namespace vxk {

HeaderLineReader::HeaderLineReader(TvxComms& link, int byteTimeoutMs, int64_t deadline)
    : link_(link),
      byteTimeoutMs_(std::max(0, byteTimeoutMs)),
      deadline_(deadline),
      byteDue_(TickCount() + byteTimeoutMs_) {}

bool HeaderLineReader::End(bool keep) {
  if (!keep) line_.clear();
  ended_ = true;
  return true;
}

bool HeaderLineReader::Continue(int waitMs) {
  if (ended_) return true;
  const int64_t stepEnd = waitMs < 0 ? -1 : TickCount() + waitMs;
  for (;;) {
    // No header line is this long; the caller refuses it instead of reading on forever.
    if (line_.size() >= kMaxLine) return End(true);
    // Bytes already received still count after the device has closed its side.
    if (link_.BufferedBytes(kTerminalChannel) == 0 && !link_.IsAlive()) return End(true);
    if (deadline_ >= 0 && TickCount() >= deadline_) return End(false);
    std::string byte = link_.Read(kTerminalChannel, 0, 1);
    if (byte.empty()) {
      int64_t until = byteDue_;
      if (deadline_ >= 0) until = std::min(until, deadline_);
      if (stepEnd >= 0) until = std::min(until, stepEnd);
      const int64_t wait = until - TickCount();
      if (wait > 0) byte = link_.Read(kTerminalChannel, static_cast<int>(wait), 1);
      if (byte.empty()) {
        const int64_t now = TickCount();
        if (now >= byteDue_ || (deadline_ >= 0 && now >= deadline_)) return End(false);
        if (stepEnd >= 0 && now >= stepEnd) return false;
        continue;
      }
    }
    byteDue_ = TickCount() + byteTimeoutMs_;
    if (byte[0] == '\n') continue;
    if (byte[0] == '\r') return End(true);
    line_ += byte[0];
  }
}

std::string HeaderLineReader::Take() {
  std::string line = std::move(line_);
  line_.clear();
  ended_ = false;
  byteDue_ = TickCount() + byteTimeoutMs_;
  return line;
}

}  // namespace vxk
