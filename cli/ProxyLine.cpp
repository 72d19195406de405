#include "cli/ProxyLine.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <sstream>
#include <vector>

#include "comms/Ticks.h"

namespace vxk {
namespace {

constexpr size_t kMaxLine = 107;

bool Port(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(text) <= 65535;
}

bool AddressText(const std::string& text, bool six) {
  if (text.empty() || text.size() > 45) return false;
  for (const char c : text) {
    const bool ok = (c >= '0' && c <= '9') || c == '.' ||
                    (six && (c == ':' || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!ok) return false;
  }
  return true;
}

}  // namespace

ProxyLine ParseProxyLine(const std::string& line) {
  ProxyLine result;
  result.sawBytes = !line.empty();
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.size() < 2 || words[0] != "PROXY") return result;
  if (words[1] == "UNKNOWN") {
    result.state = ProxyLine::State::Read;
    return result;
  }
  const bool six = words[1] == "TCP6";
  if ((words[1] != "TCP4" && !six) || words.size() != 6 || !AddressText(words[2], six) ||
      !AddressText(words[3], six) || !Port(words[4]) || !Port(words[5]))
    return result;
  result.state = ProxyLine::State::Read;
  result.peer = six ? "[" + words[2] + "]:" + words[4] : words[2] + ":" + words[4];
  return result;
}

ProxyLine ReadProxyLine(int fd, int64_t deadline) {
  std::string line;
  for (;;) {
    const int64_t left = deadline - TickCount();
    pollfd pfd{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      ProxyLine closed;
      closed.state = ProxyLine::State::Closed;
      closed.sawBytes = !line.empty();
      return closed;
    }
    if (c == '\n' && !line.empty() && line.back() == '\r') {
      line.pop_back();
      return ParseProxyLine(line);
    }
    line += c;
    if (line.size() > kMaxLine) break;
  }
  ProxyLine late;  // cut short, too long, or late
  late.sawBytes = !line.empty();
  return late;
}

}  // namespace vxk
