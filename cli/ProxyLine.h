#pragma once

#include <cstdint>
#include <string>

namespace vxk {

// The PROXY protocol's text line (version 1) that a load balancer (HAProxy with send-proxy)
// sends before the client's bytes: "PROXY TCP4|TCP6 SOURCE DEST SPORT DPORT" CR LF, or
// "PROXY UNKNOWN ..." CR LF.
struct ProxyLine {
  enum class State { Read, Closed, Invalid };
  State state = State::Invalid;
  bool sawBytes = false;  // anything came at all (a health check sends nothing)
  std::string peer;       // "SOURCE:SPORT" ("[SOURCE]:SPORT" for TCP6); empty for UNKNOWN
};

// Reads the line from a connected socket, a byte at a time so nothing after it is taken, until
// the deadline (a tick count). At most 107 bytes, as the protocol allows.
ProxyLine ReadProxyLine(int fd, int64_t deadline);

// Parses one line without its CR LF; Invalid when it is not a PROXY line.
ProxyLine ParseProxyLine(const std::string& line);

}  // namespace vxk
