#include "sim/StreamFault.h"

#include <cstdint>

namespace vxk {

namespace {

// Bytes that frame, split or end things in the tool's readers.
const std::string kGarbage = std::string("\xAB\xBB\r\n\t0:No error\r\n\x1B\0\xFF", 20) +
                             "Send file\t12345\t\xAB" + "\r\n" + std::string(16, '\xBB');

}  // namespace

const char* StreamFault::Name(Kind kind) {
  switch (kind) {
    case Kind::None:
      return "none";
    case Kind::Watch:
      return "watch";
    case Kind::Stall:
      return "stall";
    case Kind::Drop:
      return "drop";
    case Kind::EarlyAnswer:
      return "early answer";
    case Kind::Garbage:
      return "garbage";
    case Kind::HalfPacket:
      return "half packet";
    case Kind::SingleBytes:
      return "single bytes";
    case Kind::NoPrompt:
      return "no prompt";
  }
  return "?";
}

void StreamFaultState::Arm(const StreamFault& fault, const std::string& prompt) {
  *this = StreamFaultState();
  fault_ = fault;
  prompt_ = prompt;
}

std::string StreamFaultState::OnEmit(std::string_view bytes, bool& disconnect) {
  using Kind = StreamFault::Kind;
  const size_t before = emitted_;
  emitted_ += bytes.size();
  if (fault_.kind == Kind::Watch) {
    if (seenOut_.size() < StreamFaultState::kMaxSeen)
      seenOut_.append(bytes.substr(0, StreamFaultState::kMaxSeen - seenOut_.size()));
    return std::string(bytes);
  }
  if (fault_.onInput || !Armed() || emitted_ < fault_.at ||
      (done_ && fault_.kind != Kind::Stall && fault_.kind != Kind::Drop &&
       fault_.kind != Kind::NoPrompt))
    return std::string(bytes);
  // Bytes before the step pass as they are.
  const size_t split = fault_.at > before ? fault_.at - before : 0;
  std::string out(bytes.substr(0, split));
  const std::string_view rest = bytes.substr(split);
  switch (fault_.kind) {
    case Kind::Stall:
      break;
    case Kind::Drop:
      disconnect = true;
      break;
    case Kind::EarlyAnswer:
      done_ = true;
      out += "55:Fault\r\n" + prompt_;
      out += rest;
      break;
    case Kind::Garbage:
      done_ = true;
      out += kGarbage;
      out += rest;
      break;
    case Kind::NoPrompt:
      for (const char c : rest) {
        if (c == '\xAB') inPrompt_ = true;
        if (!inPrompt_) out += c;
        if (c == '\xBB') inPrompt_ = false;
      }
      break;
    default:  // taking-side faults
      out += rest;
      break;
  }
  if (fault_.kind == Kind::Stall || fault_.kind == Kind::Drop) done_ = true;
  return out;
}

bool StreamFaultState::OnReceive(size_t bytes) {
  received_ += bytes;
  if (fault_.kind == StreamFault::Kind::Watch) return false;
  if (!fault_.onInput || !Armed() || received_ < fault_.at) return false;
  // From here on the fault acts on the output, at once.
  fault_.onInput = false;
  fault_.at = emitted_;
  return true;
}

size_t StreamFaultState::TakeLimit(int64_t now) {
  using Kind = StreamFault::Kind;
  if (fault_.onInput || !Armed()) return SIZE_MAX;
  const size_t half = 30;
  if (fault_.kind == Kind::SingleBytes) return taken_ >= fault_.at ? 1 : fault_.at - taken_;
  if (fault_.kind != Kind::HalfPacket || released_) return SIZE_MAX;
  if (taken_ < fault_.at + half) return fault_.at + half - taken_;
  if (releaseAt_ < 0) releaseAt_ = now + StreamFault::kHoldMs;
  if (now < releaseAt_) return 0;
  released_ = true;
  releaseAt_ = -1;
  return SIZE_MAX;
}

}  // namespace vxk
