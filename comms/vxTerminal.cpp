#include "comms/vxTerminal.h"

#include <algorithm>

#include "comms/LinkLock.h"
#include "comms/Ticks.h"

namespace vxk {

TvxTerminal::TvxTerminal(TvxComms& link) : ReplyMarker(1, kPromptStart), link_(link) {}

bool TvxTerminal::IsOpen() {
  return link_.IsOpen();
}

int64_t TvxTerminal::TotalDeadline(int timeoutMs) const {
  const int64_t idle = timeoutMs > 0 ? timeoutMs : 0;
  return TickCount() + std::max<int64_t>(kTotalFactor * idle, waits_.readTotalMinMs);
}

std::string TvxTerminal::ReadChars(int count, int timeoutMs) {
  LinkLock lock(link_, timeoutMs);
  if (!lock) return std::string();
  timedOut_ = false;
  const size_t wanted = count < 0 ? 0 : static_cast<size_t>(count);
  const int64_t total = TotalDeadline(timeoutMs);
  int64_t idleEnd = TickCount() + timeoutMs;
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
    const int64_t now = TickCount();
    if (now >= total) {
      timedOut_ = true;  // the device trickles: the whole count took too long
      return std::string();
    }
    const int wait = timeoutMs < 0
                         ? timeoutMs
                         : static_cast<int>(std::max<int64_t>(0, std::min(idleEnd, total) - now));
    std::string arrived = link_.Read(kTerminalChannel, wait, -1);
    if (link_.TimedOut()) {
      timedOut_ = true;
      return std::string();
    }
    if (arrived.empty()) {
      // Packets came for other channels only; the idle time still runs out.
      if (timeoutMs < 0 || TickCount() >= idleEnd) {
        timedOut_ = true;
        return std::string();
      }
      continue;
    }
    if (head_ > 0) {
      buffer_.erase(0, head_);
      head_ = 0;
    }
    buffer_ += arrived;
    idleEnd = TickCount() + timeoutMs;
  }
}

std::string TvxTerminal::ReadUntil(const std::string& endMarker, const std::string& cutMarker,
                                   int timeoutMs, size_t maxBytes) {
  if (timeoutMs > 0) timeoutMs += link_.ExtraTime();
  if (!link_.IsOpen()) {
    timedOut_ = true;
    return std::string();
  }
  LinkLock lock(link_, timeoutMs);
  if (!lock) return std::string();
  return ReadUntilBy(endMarker, cutMarker, timeoutMs, maxBytes, TotalDeadline(timeoutMs));
}

std::string TvxTerminal::ReadUntilBy(const std::string& endMarker, const std::string& cutMarker,
                                     int timeoutMs, size_t maxBytes, int64_t deadline) {
  if (!link_.IsOpen()) {
    timedOut_ = true;
    return std::string();
  }
  std::string text;
  auto ended = [&] {
    return !endMarker.empty() && text.size() >= endMarker.size() &&
           text.compare(text.size() - endMarker.size(), endMarker.size(), endMarker) == 0;
  };
  for (bool done = false; !done;) {
    const int64_t left = deadline - TickCount();
    if (left <= 0 || text.size() >= maxBytes) {
      timedOut_ = true;  // a device that never ends its text: what came so far, uncut
      return text;
    }
    if (Buffered() == 0) {
      const int wait =
          timeoutMs < 0 ? timeoutMs : static_cast<int>(std::min<int64_t>(timeoutMs, left));
      const std::string c = ReadChars(1, wait);
      if (c.empty()) return text;  // time-out: what came so far, uncut
      text += c;
      done = ended();
      continue;
    }
    // Bytes already received are taken one at a time without asking the clock for each.
    while (!done && Buffered() > 0 && text.size() < maxBytes) {
      text += buffer_[head_++];
      done = ended();
    }
    if (head_ == buffer_.size()) {
      buffer_.clear();
      head_ = 0;
    }
  }
  if (!cutMarker.empty()) {
    const size_t at = text.rfind(cutMarker);
    if (at != std::string::npos) text.resize(at);
  }
  return text;
}

bool TvxTerminal::Send(const std::string& text) {
  LinkLock lock(link_, waits_.sendLockMs);
  if (!lock) return false;
  return link_.Write(text, kTerminalChannel, 0, waits_.writeMs);
}

void TvxTerminal::SendLine(const std::string& text) {
  Send(text + '\r');
}

void TvxTerminal::ClearInput() {
  LinkLock lock(link_, waits_.clearLockMs);
  if (lock) link_.ClearChannel(kTerminalChannel);
}

std::string TvxTerminal::ReadToPromptEnd(int timeoutMs, size_t maxBytes) {
  static const std::string kEnd(1, kPromptEnd);
  return ReadUntil(kEnd, kEnd, timeoutMs, maxBytes);
}

std::string TvxTerminal::ReadReply(int timeoutMs) {
  if (timeoutMs > 0) timeoutMs += link_.ExtraTime();
  // Held across the retries, so a lock that cannot be had ends the call instead of looping.
  LinkLock lock(link_, timeoutMs);
  if (!lock) return std::string();
  // One total bound for all retries: a device that sends nothing but empty replies is let go.
  const int64_t deadline = TotalDeadline(timeoutMs);
  std::string reply;
  do {
    reply = ReadUntilBy(ReplyMarker, ReplyMarker, timeoutMs, kMaxReply, deadline);
  } while (reply.empty() && !timedOut_);
  return reply;
}

bool TvxTerminal::PromptContains(const std::string& word) {
  LinkLock lock(link_, waits_.promptLockMs);
  if (!lock) return false;
  // First what the device still sends is drained, then the prompt its ESC brings up is
  // awaited; each phase ends in time (plus the link's extra time), however chatty the device.
  const int extra = std::max(0, link_.ExtraTime());
  const int64_t drainEnd = TickCount() + waits_.promptDrainMs + extra;
  while (TickCount() < drainEnd && !ReadToPromptEnd(waits_.promptByteMs).empty()) {
  }
  link_.Write(std::string(1, kEsc), kTerminalChannel, 0, waits_.promptByteMs);
  WaitForData();
  const int64_t answerEnd = TickCount() + waits_.promptAnswerMs + extra;
  bool result = false;
  while (TickCount() < answerEnd) {
    const std::string t = ReadToPromptEnd(waits_.promptByteMs);
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
  // Bytes this engine already took from the link are data too: waiting a round trip for more
  // would hold up a device that has answered (a write's "Send file" that came with the prompt
  // would otherwise wait out the round-trip time while the device gives up on its data).
  if (Buffered() > 0) return true;
  return link_.DataAvailable(kTerminalChannel);
}

}  // namespace vxk
