#pragma once

#include <functional>
#include <string>

#include "comms/vxCommsSocket.h"
#include "security/HeaderCheck.h"

namespace vxk {

// Reads and checks the connection header that a TCP device sends first, waiting as long as
// the header's rules allow (see HeaderCheck). True when the header was accepted.
bool ProcessConnectHeader(TvxCommsSocket& link, const std::string& secret,
                          const std::function<void(const std::string&)>& showStatus,
                          int deadlineMs = kHeaderDeadlineMs);

}  // namespace vxk
