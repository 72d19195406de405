#include "comms/vxTerminal.h"

#include "comms/LinkLock.h"

namespace vxk {
namespace {

// Replies that never settle (a device that keeps talking) must not hold the caller forever.
constexpr int kMaxPromptDrain = 1000;

}  // namespace

TvxTerminal::TvxTerminal(TvxComms& link) : ReplyMarker(1, kPromptStart), link_(link) {}

bool TvxTerminal::IsOpen() {
  return link_.IsOpen();
}

std::string TvxTerminal::ReadChars(int count, int timeoutMs) {
  LinkLock lock(link_, timeoutMs);
  if (!lock) return std::string();
  timedOut_ = false;
  const size_t wanted = count < 0 ? 0 : static_cast<size_t>(count);
  for (;;) {
    if (Buffered() >= wanted) {
      std::string out = buffer_.substr(head_, wanted);
      head_ += wanted;
      if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
      }
      return out;
    }
    std::string arrived = link_.Read(kTerminalChannel, timeoutMs, -1);
    if (link_.TimedOut()) {
      timedOut_ = true;
      return std::string();
    }
    if (head_ > 0) {
      buffer_.erase(0, head_);
      head_ = 0;
    }
    buffer_ += arrived;
  }
}

std::string TvxTerminal::ReadUntil(const std::string& endMarker, const std::string& cutMarker,
                                   int timeoutMs) {
  if (timeoutMs > 0) timeoutMs += link_.ExtraTime();
  if (!link_.IsOpen()) {
    timedOut_ = true;
    return std::string();
  }
  LinkLock lock(link_, timeoutMs);
  if (!lock) return std::string();
  std::string text;
  for (;;) {
    const std::string c = ReadChars(1, timeoutMs);
    if (c.empty()) return text;  // time-out: what came so far, uncut
    text += c;
    if (!endMarker.empty() && text.size() >= endMarker.size() &&
        text.compare(text.size() - endMarker.size(), endMarker.size(), endMarker) == 0) {
      break;
    }
  }
  if (!cutMarker.empty()) {
    const size_t at = text.rfind(cutMarker);
    if (at != std::string::npos) text.resize(at);
  }
  return text;
}

bool TvxTerminal::Send(const std::string& text) {
  LinkLock lock(link_, 5000);
  if (!lock) return false;
  return link_.Write(text, kTerminalChannel, 0, 200);
}

void TvxTerminal::SendLine(const std::string& text) {
  Send(text + '\r');
}

void TvxTerminal::ClearInput() {
  LinkLock lock(link_, 1000);
  if (lock) link_.ClearChannel(kTerminalChannel);
}

std::string TvxTerminal::ReadToPromptEnd(int timeoutMs) {
  static const std::string kEnd(1, kPromptEnd);
  return ReadUntil(kEnd, kEnd, timeoutMs);
}

std::string TvxTerminal::ReadReply(int timeoutMs) {
  // Held across the retries, so a lock that cannot be had ends the call instead of looping.
  LinkLock lock(link_, timeoutMs > 0 ? timeoutMs + link_.ExtraTime() : timeoutMs);
  if (!lock) return std::string();
  std::string reply;
  do {
    reply = ReadUntil(ReplyMarker, ReplyMarker, timeoutMs);
  } while (reply.empty() && !timedOut_);
  return reply;
}

bool TvxTerminal::PromptContains(const std::string& word) {
  LinkLock lock(link_, 1000);
  if (!lock) return false;
  for (int i = 0; i < kMaxPromptDrain && !ReadToPromptEnd(50).empty(); ++i) {
  }
  link_.Write(std::string(1, kEsc), kTerminalChannel, 0, 50);
  WaitForData();
  bool result = false;
  for (int i = 0; i < kMaxPromptDrain; ++i) {
    const std::string t = ReadToPromptEnd(50);
    if (timedOut_) break;
    result = t.find(word) != std::string::npos;
    if (!t.empty()) break;
  }
  return result;
}

bool TvxTerminal::IsReadyForCommands() {
  return !PromptContains("PASSWORD");
}

bool TvxTerminal::IsBootLoader() {
  return link_.ProductName().find("BootLoader") != std::string::npos;
}

bool TvxTerminal::IsKeeperDevice() {
  return link_.ProductName().find("vx.keeper") != std::string::npos;
}

bool TvxTerminal::IsAteDevice() {
  return link_.ProductName().find("ATE") != std::string::npos;
}

bool TvxTerminal::Lock(int timeoutMs) {
  return link_.Lock(timeoutMs);
}

void TvxTerminal::Unlock() {
  link_.Unlock();
}

int TvxTerminal::RoundTripTime() {
  return link_.RoundTripTime();
}

bool TvxTerminal::WaitForData() {
  return link_.DataAvailable(kTerminalChannel);
}

}  // namespace vxk
