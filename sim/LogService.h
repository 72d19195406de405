#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxk {

class VirtualDevice;

// The device's log stream on channel 31. A set-filter packet ("FILTER " and eight mask bytes,
// least significant first, flags 0x80) says which record types to forward, bit n for type n;
// a clear-filter packet ("FILTER-", flags 0x40) stops the stream. Records travel one per
// packet: byte 0 the type, then the text. Nothing is sent before the first filter.
// At the prompt, "LOG type text" sends one record and "LOGFLOOD count" that many samples.
// Must outlive the device it is installed on.
class LogService {
 public:
  static constexpr int kChannel = 31;

  void Install(VirtualDevice& device);

  // Sends a record when the filter lets it pass; true when it was sent.
  bool Record(uint8_t type, std::string_view text);
  // Records of every kind, type byte first: every tagged type and some without a tag, a type
  // byte alone, a full 61-byte record, the awkward bytes 0x00, 0x1B, "\" and 0xFF, and modem
  // lines ending in CR LF.
  static std::vector<std::string> Samples();
  // Sends the samples that pass the filter; returns how many were sent.
  size_t SendSamples();
  // Sends count records, the samples over and over, made as the host reads them. The flood
  // ends early when the host clears the filter.
  void StartFlood(size_t count);
  bool Flooding() const;

  bool Subscribed() const { return subscribed_; }
  uint64_t Mask() const { return mask_; }
  // Filter packets understood, and packets on the channel that were not.
  int FilterPackets() const { return filterPackets_; }
  int BadPackets() const { return badPackets_; }
  uint64_t RecordsSent() const { return sent_; }

 private:
  void OnPacket(std::string_view bytes, uint8_t flags);
  // The mask has no bits for types from 64 up: those always pass while subscribed.
  bool Passes(uint8_t type) const {
    return subscribed_ && (type >= 64 || ((mask_ >> type) & 1) != 0);
  }

  VirtualDevice* device_ = nullptr;
  bool subscribed_ = false;
  uint64_t mask_ = 0;
  int filterPackets_ = 0;
  int badPackets_ = 0;
  uint64_t sent_ = 0;
};

}  // namespace vxk
