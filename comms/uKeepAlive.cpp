#include "comms/uKeepAlive.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>

namespace vxk {

namespace {

// The kernel refuses keep-alive times above this many seconds.
constexpr int64_t kMaxKeepAliveSeconds = 32767;

int WholeSeconds(int ms) {
  const int64_t seconds = (static_cast<int64_t>(ms) + 999) / 1000;
  return static_cast<int>(std::clamp<int64_t>(seconds, 1, kMaxKeepAliveSeconds));
}

bool SetOption(int handle, int level, int name, int value) {
  return setsockopt(handle, level, name, &value, sizeof value) == 0;
}

}  // namespace

bool SetKeepAlive(int handle, int idleMs, int intervalMs) {
  if (idleMs <= 0) return SetOption(handle, SOL_SOCKET, SO_KEEPALIVE, 0);
  return SetOption(handle, IPPROTO_TCP, TCP_KEEPIDLE, WholeSeconds(idleMs)) &&
         SetOption(handle, IPPROTO_TCP, TCP_KEEPINTVL, WholeSeconds(intervalMs)) &&
         SetOption(handle, SOL_SOCKET, SO_KEEPALIVE, 1);
}

}  // namespace vxk
