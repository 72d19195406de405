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
// showStatus. A refused header gets "BYE!" and the link is closed; an accepted header that
// announced HMAC authentication gets the tool's own proof. True when the header was accepted.
bool ProcessConnectHeader(TvxCommsSocket& link, const std::string& secret,
                          const std::function<void(const std::string&)>& showStatus);

}  // namespace vxk
