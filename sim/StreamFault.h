#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vxk {

// A fault in the device's command-interpreter stream (channel 0), for tests of the tool's
// behaviour at any step of an exchange. The step is a byte offset, counted from arming, in
// the device's output (onInput false) or in what it has received (onInput true).
struct StreamFault {
  enum class Kind {
    None,
    Stall,        // nothing more is sent; the device still takes input
    Drop,         // the connection drops
    EarlyAnswer,  // an error status and a prompt break in
    Garbage,      // a burst of junk bytes (prompt bytes, line ends, TAB, digits, NUL) breaks in
    HalfPacket,   // half of a packet goes out, the rest kHoldMs later
    SingleBytes,  // from then on every packet carries one byte
    NoPrompt,     // prompts are sent no more
    Watch,        // nothing changes; the stream is recorded (see StreamFaultState::Seen)
  };
  Kind kind = Kind::None;
  bool onInput = false;
  size_t at = 0;

  static constexpr int kHoldMs = 250;
  static const char* Name(Kind kind);
};

// The running state of one armed fault, kept by the virtual device.
class StreamFaultState {
 public:
  // prompt: the device's prompt bytes, for the early answer.
  void Arm(const StreamFault& fault, const std::string& prompt);
  bool Armed() const { return fault_.kind != StreamFault::Kind::None; }
  // Output made by the device, turned into what it sends; may ask for a disconnect.
  std::string OnEmit(std::string_view bytes, bool& disconnect);
  // Input received; true when the fault strikes now: the device then emits (even nothing) so
  // that OnEmit can act.
  bool OnReceive(size_t bytes);
  // Bytes that may be taken now (SIZE_MAX: no limit); Taken reports bytes taken.
  size_t TakeLimit(int64_t now);
  void Taken(size_t bytes) { taken_ += bytes; }
  // The first kMaxSeen bytes sent and received since arming, to find the steps of an exchange.
  static constexpr size_t kMaxSeen = 1 << 20;
  const std::string& SeenOut() const { return seenOut_; }
  const std::string& SeenIn() const { return seenIn_; }
  void See(std::string_view in) {
    if (seenIn_.size() < kMaxSeen) seenIn_.append(in.substr(0, kMaxSeen - seenIn_.size()));
  }
  // When a held remainder may go, -1 when nothing is held.
  int64_t ReleaseAt() const { return releaseAt_; }

 private:
  bool Fired(size_t count) const { return count >= fault_.at; }

  StreamFault fault_;
  std::string prompt_;
  std::string seenOut_;
  std::string seenIn_;
  size_t emitted_ = 0;
  size_t received_ = 0;
  size_t taken_ = 0;
  bool done_ = false;  // a one-off fault has happened
  bool inPrompt_ = false;
  int64_t releaseAt_ = -1;
  bool released_ = false;
};

}  // namespace vxk
