#pragma once

#include <cstdint>
#include <string>

#include "comms/Timeouts.h"
#include "comms/vxComms.h"

namespace vxk {

// Command/response engine on channel 0 of a link: send lines, collect replies up to the
// device's prompt (framed by 0xAB ... 0xBB), read counted blocks of raw bytes.
// Failures are results: empty text or false, with TimedOut telling a time-out.
class TvxTerminal {
 public:
  static constexpr char kPromptStart = '\xAB';
  static constexpr char kPromptEnd = '\xBB';
  static constexpr char kEsc = '\x1B';
  // Bounds of one read, whatever the device sends: bytes of a reply, bytes of a prompt or
  // line, and the total time as a multiple of the idle time-out (at least readTotalMinMs).
  static constexpr size_t kMaxReply = 1 << 20;
  static constexpr size_t kMaxLine = 16 * 1024;
  static constexpr int kTotalFactor = 10;

  // link is not owned and must outlive the terminal.
  explicit TvxTerminal(TvxComms& link);

  const std::string ReplyMarker;

  bool IsOpen();
  // Exactly count bytes, or empty when an arrival takes longer than timeoutMs (or the whole
  // count longer than kTotalFactor times that).
  std::string ReadChars(int count, int timeoutMs);
  // Bytes up to and including endMarker, then cut before the last cutMarker. Ends with
  // TimedOut and the text so far, uncut, when maxBytes have come without the marker or the
  // total time bound has passed.
  std::string ReadUntil(const std::string& endMarker, const std::string& cutMarker, int timeoutMs,
                        size_t maxBytes = kMaxReply);
  bool Send(const std::string& text);
  void SendLine(const std::string& text);
  void ClearInput();
  std::string ReadToPromptEnd(int timeoutMs, size_t maxBytes = kMaxLine);
  std::string ReadReply(int timeoutMs);
  bool PromptContains(const std::string& word);
  bool IsReadyForCommands();
  bool IsBootLoader();
  bool IsKeeperDevice();
  bool IsAteDevice();
  bool Lock(int timeoutMs);
  void Unlock();
  int RoundTripTime();
  bool WaitForData();

  bool TimedOut() const { return timedOut_; }
  TvxComms& Link() { return link_; }
  // The waits of every exchange made through this engine.
  const Timeouts& Waits() const { return waits_; }
  void SetWaits(const Timeouts& waits) { waits_ = waits; }

 private:
  size_t Buffered() const { return buffer_.size() - head_; }
  // The tick by which a read with this idle time-out must end.
  int64_t TotalDeadline(int timeoutMs) const;
  std::string ReadUntilBy(const std::string& endMarker, const std::string& cutMarker, int timeoutMs,
                          size_t maxBytes, int64_t deadline);

  TvxComms& link_;
  // Bytes taken from the link but not yet handed to a caller, from head_ on.
  std::string buffer_;
  size_t head_ = 0;
  bool timedOut_ = false;
  Timeouts waits_;
};

}  // namespace vxk
