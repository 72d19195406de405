#include "sim/FloodLoad.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "comms/Ticks.h"
#include "sim/DeviceIdentity.h"
#include "sim/HeaderText.h"

namespace vxk {
namespace {

// A connected socket, or -1 when the connect failed or took longer than timeoutMs.
int Connect(const sockaddr_in& address, int timeoutMs) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // On Linux the send time-out bounds a blocking connect too (a full backlog drops SYNs).
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

FloodLoad::FloodLoad(FloodOptions options) : options_(std::move(options)) {}

FloodLoad::Kind FloodLoad::KindOf(int i) const {
  if (options_.unauthenticated) {
    static constexpr Kind kinds[] = {Kind::ClosedAtOnce, Kind::Garbage, Kind::Silent};
    return kinds[i % 3];
  }
  static constexpr Kind kinds[] = {Kind::Valid, Kind::Garbage, Kind::Valid, Kind::Silent};
  return kinds[i % 4];
}

std::string FloodLoad::Payload(int i) const {
  switch (KindOf(i)) {
    case Kind::Garbage: {
      // Bytes no header starts with, some of them line ends, never an empty line.
      std::string junk;
      for (int k = 0; k < 40 + i % 200; ++k)
        junk += static_cast<char>((k * 37 + i * 11) % 7 == 0 ? '\r' : 'A' + (k * 31 + i) % 60);
      return junk;
    }
    case Kind::Valid: {
      DeviceIdentity identity;
      identity.serial = std::to_string(200000 + i);
      HeaderOptions header;
      header.key = options_.key;
      return BuildConnectHeader(identity, header);
    }
    case Kind::Silent:
    case Kind::ClosedAtOnce:
      break;
  }
  return std::string();
}

FloodResult FloodLoad::Run() {
  FloodResult result;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(options_.port));
  if (inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) return result;

  std::deque<std::pair<int64_t, int>> open;  // close tick and socket, in the order opened
  const auto closeDue = [&open](int64_t now) {
    while (!open.empty() && open.front().first <= now) {
      close(open.front().second);
      open.pop_front();
    }
  };
  const int64_t start = TickCount();
  const double spacingMs = options_.count > 0 ? options_.seconds * 1000 / options_.count : 0;
  // Connects that time out put the schedule behind; past this tick the rest count as failed.
  const int64_t lastOpen =
      start + static_cast<int64_t>(options_.seconds * 1000) + options_.connectTimeoutMs;
  for (int i = 0; i < options_.count; ++i) {
    const int64_t due = start + static_cast<int64_t>(i * spacingMs);
    if (TickCount() > lastOpen) {
      result.failed += options_.count - i;
      break;
    }
    while (TickCount() < due) {
      closeDue(TickCount());
      SleepMs(static_cast<int>(std::min<int64_t>(due - TickCount(), 5)));
    }
    const int fd = Connect(address, options_.connectTimeoutMs);
    if (fd < 0) {
      ++result.failed;
      continue;
    }
    ++result.opened;
    // A few hundred bytes fit the socket's buffer: this send does not wait. A failed send
    // is the other end's doing and still counts as a connection of its kind.
    const std::string payload = Payload(i);
    if (!payload.empty()) send(fd, payload.data(), payload.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    switch (KindOf(i)) {
      case Kind::Valid:
        ++result.valid;
        break;
      case Kind::Garbage:
        ++result.garbage;
        break;
      case Kind::Silent:
        ++result.silent;
        break;
      case Kind::ClosedAtOnce:
        ++result.closed;
        break;
    }
    if (KindOf(i) == Kind::ClosedAtOnce)
      close(fd);
    else
      open.emplace_back(TickCount() + options_.holdMs, fd);
    closeDue(TickCount());
  }
  result.lastOpenS = static_cast<double>(TickCount() - start) / 1000.0;
  while (!open.empty()) {
    closeDue(TickCount());
    if (!open.empty())
      SleepMs(static_cast<int>(std::max<int64_t>(1, open.front().first - TickCount())));
  }
  result.elapsedS = static_cast<double>(TickCount() - start) / 1000.0;
  return result;
}

}  // namespace vxk
