#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vxk {

class TvxComms;

// The host's side of the log stream on channel 31, straight on the link.
class LogChannel {
 public:
  using RecordSink = std::function<void(std::string_view record)>;

  // First wait of a drain; later reads only take what has arrived.
  static constexpr int kFirstWaitMs = 2;
  // One drain takes at most this many packets, as many as the link's channel buffer holds; the
  // rest waits for the next poll.
  static constexpr size_t kMaxPacketsPerDrain = 2048;

  explicit LogChannel(TvxComms& link) : link_(link) {}

  // The subscription: records of the types whose bits are set in mask. False when the packet
  // could not be written (no link); nobody is told, the next occasion sends it again.
  bool SendFilter(uint64_t mask);
  // Ends the subscription.
  bool ClearFilter();

  // Hands every record that has arrived to sink, at most maxPackets of them; returns how many.
  // An empty packet is skipped, not taken for the end of the stream.
  size_t DrainRecords(const RecordSink& sink, size_t maxPackets = kMaxPacketsPerDrain);

 private:
  TvxComms& link_;
};

}  // namespace vxk
