#pragma once

#include <functional>
#include <string>

#include "comms/vxCommsSocket.h"

namespace vxk {

// Longest header taken from a device: lines (the first line included, the closing empty line
// not) and bytes of signed text. A longer header is refused like an invalid one.
constexpr int kMaxHeaderLines = 64;
constexpr size_t kMaxSignedText = 16 * 1024;

// Reads and checks the connection header that a TCP device sends first. Sets the link's
// identity texts from it and reports its informative lines and the digest checks through
// showStatus. With a secret, only a digest made with it (HMAC mode) is accepted; the whole
// header must arrive within deadlineMs plus one round-trip time. A refused header gets "BYE!" and
// the link is closed; an accepted header that announced HMAC authentication gets the tool's
// own proof, over the digest that matched. True when the header was accepted.
// The whole header must have come within this long plus one round-trip time.
constexpr int kHeaderDeadlineMs = 10000;

bool ProcessConnectHeader(TvxCommsSocket& link, const std::string& secret,
                          const std::function<void(const std::string&)>& showStatus,
                          int deadlineMs = kHeaderDeadlineMs);

}  // namespace vxk
