#include "security/ConnectHeader.h"

namespace vxk {

bool ProcessConnectHeader(TvxCommsSocket& link, const std::string& secret,
                          const std::function<void(const std::string&)>& showStatus,
                          int deadlineMs) {
  return HeaderCheck(link, secret, showStatus, deadlineMs).Step(-1) == HeaderCheck::State::Accepted;
}

}  // namespace vxk
