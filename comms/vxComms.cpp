#include "comms/vxComms.h"

#include <algorithm>
#include <cstring>

#include "comms/Ticks.h"

namespace vxk {

TvxComms::TvxComms(HidBackend* backend, TerminalLock& lock) : hid_(backend), terminalLock_(lock) {}

TvxComms::~TvxComms() = default;

bool TvxComms::IsValidChannel(int channel) const {
  return channel >= 0 && channel < kChannelCount;
}

bool TvxComms::Open() {
  if (hid_.IsValid()) return true;
  if (serialFilter_.empty()) {
    hid_.OpenFirst(kVendorId, kProductId, kUsagePage, kUsage);
  } else {
    hid_.OpenBySerial(kVendorId, kProductId, kUsagePage, kUsage, serialFilter_);
  }
  return hid_.IsValid();
}

void TvxComms::Close() {
  hid_.CloseDevice();
}

bool TvxComms::IsOpen() {
  return hid_.IsValid();
}

bool TvxComms::IsAlive() {
  return !hid_.SerialNumber().empty();
}

bool TvxComms::Write(const std::string& text, int channel, uint8_t flags, int timeoutMs) {
  if (!IsValidChannel(channel)) return false;
  timedOut_ = false;
  for (size_t pos = 0; pos < text.size(); pos += kPacketData) {
    const size_t n = std::min(kPacketData, text.size() - pos);
    const std::string packet = MakePacket(channel, flags, std::string_view(text).substr(pos, n));
    const int written = hid_.WriteReport(reinterpret_cast<const unsigned char*>(packet.data()),
                                         static_cast<int>(kPacketSize), timeoutMs);
    if (written != static_cast<int>(kPacketSize)) {
      timedOut_ = true;
      Close();
      return false;
    }
  }
  return true;
}

bool TvxComms::Poll(int timeoutMs) {
  bool result = false;
  int remaining = timeoutMs;
  unsigned char report[kPacketSize];
  for (;;) {
    const int wait = std::min(remaining, 500);
    int readWait = wait;
    if (channels_[kTerminalChannel].Full()) {
      // Terminal text is never dropped: while its buffer is full its reports wait in the queue
      // until the reader has taken some. Other channels keep flowing meanwhile.
      if (hid_.PeekReportByte(wait) == kTerminalChannel) return result;
      readWait = 0;  // the wait is spent; take another channel's report if one is there
    }
    const int n = hid_.ReadReport(report, static_cast<int>(kPacketSize), readWait);
    if (n < 0) {
      remaining -= wait;
      if (remaining <= 0) return result;
      continue;
    }
    remaining = 0;
    if (n == static_cast<int>(kPacketSize) && report[0] < kChannelCount) {
      StorePacket(reinterpret_cast<const char*>(report));
      result = true;
      // Reports that cannot be stored stay with the device rather than being dropped here.
      if (channels_[report[0]].Full()) return result;
    }
  }
}

bool TvxComms::StorePacket(const char* packet) {
  const auto channel = static_cast<uint8_t>(packet[0]);
  // A length beyond the packet's data area would read past it: such packets are dropped.
  if (channel >= kChannelCount || static_cast<uint8_t>(packet[2]) > kPacketData) return false;
  return channels_[channel].Append(packet, kPacketSize);
}

void TvxComms::StoreTerminalBytes(const char* data, size_t size) {
  for (size_t pos = 0; pos < size; pos += kPacketData) {
    const size_t n = std::min(kPacketData, size - pos);
    const std::string packet = MakePacket(kTerminalChannel, 0, std::string_view(data + pos, n));
    channels_[kTerminalChannel].Append(packet.data(), packet.size());
  }
}

size_t TvxComms::TerminalRoom() const {
  const size_t used = channels_[kTerminalChannel].Size();
  if (used >= kChannelCap) return 0;
  const size_t packets = (kChannelCap - used + kPacketSize - 1) / kPacketSize;
  return packets * kPacketData;
}

std::string TvxComms::Read(int channel, int timeoutMs, int maxBytes) {
  if (!IsValidChannel(channel)) return std::string();
  timedOut_ = false;
  ChannelBuffer& buffer = channels_[channel];
  const int64_t deadline = TickCount() + timeoutMs;
  bool arrived = false;  // packets for other channels
  for (;;) {
    Poll(0);
    if (!buffer.Empty()) {
      if (buffer.Size() >= kPacketSize) break;
      buffer.Clear();  // a partial packet is thrown away
    }
    // Traffic on other channels must not stretch the wait: each poll gets what is left.
    const int wait =
        timeoutMs < 0 ? timeoutMs : static_cast<int>(std::max<int64_t>(0, deadline - TickCount()));
    if (!Poll(wait)) {
      timedOut_ = !arrived;  // a time-out means that nothing at all came
      return std::string();
    }
    arrived = true;
    if (timeoutMs < 0 || TickCount() >= deadline) return std::string();
  }
  char* packet = buffer.Head();
  const size_t n = std::min(static_cast<size_t>(static_cast<uint8_t>(packet[2])), kPacketData);
  if (maxBytes < 0 || n <= static_cast<size_t>(maxBytes)) {
    std::string out(packet + 3, n);
    buffer.Consume(kPacketSize);
    return out;
  }
  const size_t m = static_cast<size_t>(maxBytes);
  std::string out(packet + 3, m);
  // The rest stays at the head of the buffer for the next Read.
  std::memmove(packet + 3, packet + 3 + m, n - m);
  std::memset(packet + 3 + (n - m), 0, m);
  packet[2] = static_cast<char>(n - m);
  return out;
}

void TvxComms::ClearChannel(int channel) {
  if (IsValidChannel(channel)) channels_[channel].Clear();
}

size_t TvxComms::BufferedBytes(int channel) const {
  return IsValidChannel(channel) ? channels_[channel].Size() : 0;
}

std::string TvxComms::SerialNumber() {
  return hid_.SerialNumber();
}
std::string TvxComms::Manufacturer() {
  return hid_.Manufacturer();
}
std::string TvxComms::ProductName() {
  return hid_.Product();
}
std::string TvxComms::Capabilities() {
  return hid_.IndexedString(204);
}
std::string TvxComms::Info210() {
  return hid_.IndexedString(210);
}
std::string TvxComms::Info211() {
  return hid_.IndexedString(211);
}
std::string TvxComms::FirmwareVersion() {
  return hid_.IndexedString(201);
}
std::string TvxComms::FirmwareBuild() {
  return hid_.IndexedString(202);
}
std::string TvxComms::FirmwareDate() {
  return hid_.IndexedString(203);
}

bool TvxComms::Lock(int timeoutMs) {
  if (!headerPending_ && terminalLock_.Lock(timeoutMs)) {
    ++lockCount_;
    return true;
  }
  ++lockFailures_;
  return false;
}

void TvxComms::Unlock() {
  --lockCount_;
  terminalLock_.Unlock();
}

bool TvxComms::DataAvailable(int channel) {
  if (!IsValidChannel(channel)) return false;
  if (!channels_[channel].Empty()) return true;
  return Poll(roundTripTime_);
}

}  // namespace vxk
