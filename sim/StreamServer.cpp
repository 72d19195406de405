#include "sim/StreamServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "comms/Ticks.h"

namespace vxk {
namespace {

constexpr size_t kChunk = 65536;

}  // namespace

StreamServer::StreamServer(VirtualDevice& device, int fd) : device_(device), fd_(fd) {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  const int flags = fcntl(fd_, F_GETFL);
  if (flags >= 0) fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

StreamServer::~StreamServer() {
  if (fd_ >= 0) close(fd_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

void StreamServer::Stop() {
  Wake('s');
}

void StreamServer::Wake(char why) {
  if (wake_[1] >= 0) {
    ssize_t ignored = write(wake_[1], &why, 1);
    (void)ignored;
  }
}

bool StreamServer::Flush() {
  while (!pending_.empty()) {
    const ssize_t n = write(fd_, pending_.data(), pending_.size());
    if (n > 0) {
      sent_ += static_cast<size_t>(n);
      pending_.erase(0, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
  return true;
}

void StreamServer::Run(bool keepOnHangup) {
  Serve(keepOnHangup);
  // The connection ends with the service, so the peer sees it go.
  std::lock_guard<std::mutex> guard(mutex_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void StreamServer::Serve(bool keepOnHangup) {
  char buf[kChunk];
  for (;;) {
    bool drop;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      // Write until the device has nothing more or the connection is full.
      do {
        if (pending_.size() < kChunk) pending_ += device_.TakeOutput(0, kChunk);
        if (!Flush()) return;
      } while (pending_.empty() && device_.PendingOutput(0) > 0);
      drop = device_.DisconnectRequested();
    }
    if (drop && pending_.empty()) return;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (!pending_.empty()) fds[0].events |= POLLOUT;
    const int rc = poll(fds, 2, -1);
    if (rc < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) {
      char why[64];
      const ssize_t n = read(wake_[0], why, sizeof why);
      for (ssize_t i = 0; i < n; ++i) {
        if (why[i] == 's') return;
      }
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) {
        std::lock_guard<std::mutex> guard(mutex_);
        device_.Receive(0, std::string_view(buf, static_cast<size_t>(n)));
        continue;
      }
      if (n == 0 && !keepOnHangup) return;
      if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      if (!keepOnHangup || (fds[0].revents & POLLNVAL)) return;
      // The other side of the pseudo-terminal is closed; wait for someone to open it again.
      SleepMs(100);
    }
  }
}

}  // namespace vxk
