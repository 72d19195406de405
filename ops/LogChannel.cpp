#include "ops/LogChannel.h"

#include "comms/Packet.h"
#include "comms/vxComms.h"
#include "ops/LogRecord.h"

namespace vxk {

bool LogChannel::SendFilter(uint64_t mask) {
  if (!link_.IsOpen()) return false;
  return link_.Write(SetFilterPayload(mask), kLogChannel, kSetFilterFlags, kFilterWriteTimeoutMs);
}

bool LogChannel::ClearFilter() {
  if (!link_.IsOpen()) return false;
  return link_.Write(ClearFilterPayload(), kLogChannel, kClearFilterFlags, kFilterWriteTimeoutMs);
}

size_t LogChannel::DrainRecords(const RecordSink& sink, size_t maxPackets) {
  size_t count = 0;
  int wait = kFirstWaitMs;
  while (count < maxPackets) {
    const std::string record = link_.Read(kLogChannel, wait, -1);
    wait = 0;
    ++count;
    if (!record.empty()) {
      sink(record);
      continue;
    }
    // An empty packet reads as nothing at all: go on while packets are still waiting.
    if (link_.BufferedBytes(kLogChannel) < kPacketSize) {
      --count;
      break;
    }
  }
  return count;
}

}  // namespace vxk
