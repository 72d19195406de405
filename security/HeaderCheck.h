#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "comms/HeaderLineReader.h"
#include "comms/vxCommsSocket.h"

namespace vxk {

// Longest header taken from a device: lines (the first line included, the closing empty line
// not) and bytes of signed text. A longer header is refused like an invalid one.
constexpr int kMaxHeaderLines = 64;
constexpr size_t kMaxSignedText = 16 * 1024;
// The whole header must have come within this long plus one round-trip time.
constexpr int kHeaderDeadlineMs = 10000;

// Reads and checks the connection header that a TCP device sends first, a step at a time, so
// that the window thread waits only as long as it chooses. Sets the link's identity texts from
// it and reports its informative lines and the digest checks through showStatus. With a
// secret, only a digest made with it (HMAC mode) is accepted; the whole header must arrive
// within deadlineMs plus one round-trip time. A refused header gets "BYE!" and the link is
// closed; an accepted header that announced HMAC authentication gets the tool's own proof,
// over the digest that matched. While the header is read the link refuses its terminal lock,
// so that nothing else reaches the device before the header has been checked.
class HeaderCheck {
 public:
  enum class State { Reading, Accepted, Refused };
  using StatusSink = std::function<void(const std::string&)>;

  HeaderCheck(TvxCommsSocket& link, std::string secret, StatusSink showStatus,
              int deadlineMs = kHeaderDeadlineMs);
  ~HeaderCheck();
  HeaderCheck(const HeaderCheck&) = delete;
  HeaderCheck& operator=(const HeaderCheck&) = delete;

  // Takes the header bytes that have arrived, waiting at most waitMs for more (negative: until
  // the header has ended). Reading until then; afterwards the verdict, every time.
  State Step(int waitMs);

 private:
  State Finish();
  void Status(const std::string& text);
  void HandleLine(const std::string& line);
  void CheckDigest(const std::string& given);

  TvxCommsSocket& link_;
  std::string secret_;
  StatusSink showStatus_;
  int64_t deadline_;
  HeaderLineReader reader_;
  State state_ = State::Reading;
  bool first_ = true;
  int lines_ = 0;
  bool withinBounds_ = true;
  std::string signed_;
  std::string keyedDigest_;  // the last digest that matched under the key
  bool hmacMode_ = false;
  bool accepted_ = false;
};

}  // namespace vxk
