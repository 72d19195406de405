#include "comms/TcpSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "comms/Ticks.h"

namespace vxk {

namespace {

// "host:port" for IP addresses ("[host]:port" for IPv6), empty for anything else.
std::string AddressText(const sockaddr_storage& address, socklen_t length) {
  if (address.ss_family != AF_INET && address.ss_family != AF_INET6) return std::string();
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, port,
                  sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return std::string();
  if (address.ss_family == AF_INET6) return "[" + std::string(host) + "]:" + port;
  return std::string(host) + ":" + port;
}

}  // namespace

TcpSocket::~TcpSocket() {
  Close();
}

bool TcpSocket::Fail() {
  lastError_ = errno;
  return false;
}

bool TcpSocket::Succeed() {
  lastError_ = 0;
  return true;
}

void TcpSocket::Close() {
  if (handle_ >= 0) ::close(handle_);  // the descriptor is gone even when close reports EINTR
  handle_ = -1;
  localAddress_.clear();
  remoteAddress_.clear();
}

bool TcpSocket::Adopt(int handle) {
  if (handle == handle_ && handle >= 0) {
    ReadAddresses();
    return Succeed();
  }
  Close();
  if (handle <= 0) {
    lastError_ = EBADF;
    return false;
  }
  int type = 0;
  socklen_t length = sizeof type;
  if (getsockopt(handle, SOL_SOCKET, SO_TYPE, &type, &length) != 0) return Fail();
  if (type != SOCK_STREAM) {
    lastError_ = EPROTOTYPE;
    return false;
  }
  // An inherited socket may come non-blocking; every wait here is done with poll() and the
  // send time-out, which assume a blocking socket.
  const int flags = fcntl(handle, F_GETFL);
  if (flags < 0) return Fail();
  if ((flags & O_NONBLOCK) != 0 && fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail();
  handle_ = handle;
  ReadAddresses();
  return Succeed();
}

void TcpSocket::ReadAddresses() {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  localAddress_ = getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length) == 0
                      ? AddressText(address, length)
                      : std::string();
  address = sockaddr_storage{};
  length = sizeof address;
  remoteAddress_ = getpeername(handle_, reinterpret_cast<sockaddr*>(&address), &length) == 0
                       ? AddressText(address, length)
                       : std::string();
}

bool TcpSocket::SetLinger(bool on, int timeMs) {
  linger value{};
  value.l_onoff = on ? 1 : 0;
  value.l_linger = timeMs > 0 ? static_cast<int>((static_cast<int64_t>(timeMs) + 999) / 1000) : 0;
  if (setsockopt(handle_, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) return Fail();
  return Succeed();
}

int TcpSocket::WaitFor(short events, int timeoutMs) {
  if (handle_ < 0) {
    errno = EBADF;
    Fail();
    return -1;
  }
  const int64_t deadline = TickCount() + timeoutMs;
  pollfd entry{handle_, events, 0};
  int wait = timeoutMs < 0 ? -1 : timeoutMs;
  for (;;) {
    const int rc = ::poll(&entry, 1, wait);
    if (rc >= 0) {
      Succeed();
      return rc == 0 ? 0 : entry.revents;
    }
    if (errno != EINTR) {
      Fail();
      return -1;
    }
    if (timeoutMs >= 0) wait = static_cast<int>(std::max<int64_t>(0, deadline - TickCount()));
  }
}

bool TcpSocket::WaitReadable(int timeoutMs) {
  const int events = WaitFor(POLLIN, timeoutMs);
  return events > 0 && (events & (POLLIN | POLLERR | POLLHUP)) != 0;
}

bool TcpSocket::WaitWritable(int timeoutMs) {
  const int events = WaitFor(POLLOUT, timeoutMs);
  // An error or hang-up wakes the wait too, but the socket cannot take data then.
  return events > 0 && (events & POLLOUT) != 0 && (events & (POLLERR | POLLHUP)) == 0;
}

bool TcpSocket::Broken() {
  const int events = WaitFor(0, 0);
  return events < 0 || (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

int TcpSocket::BytesWaiting() {
  int count = 0;
  if (ioctl(handle_, FIONREAD, &count) != 0) {
    Fail();
    return -1;
  }
  Succeed();
  return count;
}

ssize_t TcpSocket::Receive(char* buffer, size_t maxSize, int timeoutMs) {
  if (maxSize == 0) {
    Succeed();
    return 0;
  }
  const int events = WaitFor(POLLIN, timeoutMs);
  if (events <= 0) return events;
  for (;;) {
    const ssize_t n = ::recv(handle_, buffer, maxSize, MSG_DONTWAIT);
    if (n >= 0) {
      Succeed();
      return n;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      Succeed();
      return 0;
    }
    Fail();
    return -1;
  }
}

bool TcpSocket::SetSendTimeout(int timeoutMs) {
  timeval value{};
  if (timeoutMs > 0) {
    value.tv_sec = timeoutMs / 1000;
    value.tv_usec = (timeoutMs % 1000) * 1000;
  }
  if (setsockopt(handle_, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) != 0) return Fail();
  return Succeed();
}

bool TcpSocket::SendAll(const char* data, size_t size) {
  if (handle_ < 0) {
    errno = EBADF;
    return Fail();
  }
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(handle_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0) errno = EIO;
      return Fail();  // EAGAIN here is the send time-out running out
    }
  }
  return Succeed();
}

bool TcpSocket::Bind(const std::string& address, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.empty() ? nullptr : address.c_str(), port.c_str(), &hints, &found) != 0) {
    lastError_ = EINVAL;
    return false;
  }
  bool bound = false;
  for (addrinfo* entry = found; entry != nullptr && !bound; entry = entry->ai_next) {
    const bool created = handle_ < 0;
    if (created) {
      handle_ = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
      if (handle_ < 0) {
        Fail();
        continue;
      }
      // A tool restarted on the same port must not wait for old connections to time out.
      const int on = 1;
      setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (::bind(handle_, entry->ai_addr, entry->ai_addrlen) == 0) {
      bound = true;
    } else {
      Fail();
      if (created) {
        ::close(handle_);
        handle_ = -1;
      }
    }
  }
  freeaddrinfo(found);
  if (!bound) return false;
  ReadAddresses();
  return Succeed();
}

bool TcpSocket::Listen(int backlog) {
  if (::listen(handle_, backlog) != 0) return Fail();
  return Succeed();
}

int TcpSocket::Accept() {
  for (;;) {
    const int handle = ::accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle >= 0) {
      Succeed();
      return handle;
    }
    if (errno != EINTR) {
      Fail();
      return -1;
    }
  }
}

}  // namespace vxk
