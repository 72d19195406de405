#pragma once

#include <string>

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

  // link is not owned and must outlive the terminal.
  explicit TvxTerminal(TvxComms& link);

  const std::string ReplyMarker;

  bool IsOpen();
  // Exactly count bytes, or empty when an arrival takes longer than timeoutMs.
  std::string ReadChars(int count, int timeoutMs);
  // Bytes up to and including endMarker, then cut before the last cutMarker.
  std::string ReadUntil(const std::string& endMarker, const std::string& cutMarker, int timeoutMs);
  bool Send(const std::string& text);
  void SendLine(const std::string& text);
  void ClearInput();
  std::string ReadToPromptEnd(int timeoutMs);
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

 private:
  size_t Buffered() const { return buffer_.size() - head_; }

  TvxComms& link_;
  // Bytes taken from the link but not yet handed to a caller, from head_ on.
  std::string buffer_;
  size_t head_ = 0;
  bool timedOut_ = false;
};

}  // namespace vxk
