#include "sim/StreamServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "comms/Ticks.h"

namespace vxk {
namespace {

constexpr size_t kChunk = 65536;
// Host bytes held back by a latency before the server stops reading more.
constexpr size_t kMaxInbound = size_t(1) << 20;
// Rounds of taking and writing output in one turn, so that Stop and the host's bytes are
// seen even while the device talks without end.
constexpr int kRoundsPerTurn = 16;
// The longest single poll; a safety net, every timed event brings its own wake-up.
constexpr int64_t kMaxPollMs = 1000;
// A paced line moves bytes in slices of this much line time, both ways.
constexpr int kPaceSliceMs = 10;

size_t PaceSlice(long bytesPerSecond) {
  return std::max<size_t>(1, static_cast<size_t>(bytesPerSecond) * kPaceSliceMs / 1000);
}

// Where the line has got to once it has carried bytes more. A line still busy, or busy until
// less than a slice ago, goes on from where it was: the server coming late must not slow the
// line down. An idle line starts now.
double PaceOn(double at, int64_t now, size_t bytes, long bytesPerSecond) {
  const double from = at + kPaceSliceMs >= static_cast<double>(now) ? at : static_cast<double>(now);
  return from + static_cast<double>(bytes) * 1000.0 / static_cast<double>(bytesPerSecond);
}

}  // namespace

StreamServer::StreamServer(VirtualDevice& device, int fd, LinkTiming timing)
    : device_(device), fd_(fd), timing_(timing) {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  const int flags = fcntl(fd_, F_GETFL);
  if (flags >= 0) fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
  ApplyTiming();
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

void StreamServer::SetTiming(const LinkTiming& timing) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    timing_ = timing;
    ApplyTiming();
  }
  Wake('w');
}

void StreamServer::ApplyTiming() {
  chunkLeft_ = timing_.chunkBytes;
  if (!timing_.Plain() && fd_ >= 0) {
    // Small pieces must leave when they are written, not when the kernel likes; on a
    // pseudo-terminal this fails and does not matter.
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
}

void StreamServer::Deliver(int64_t now) {
  while (!inbound_.empty() && inbound_.front().due <= now) {
    Piece piece = std::move(inbound_.front());
    inbound_.pop_front();
    inboundBytes_ -= piece.data.size();
    device_.Receive(0, piece.data);
  }
}

size_t StreamServer::InboundRoom(int64_t now) const {
  if (inboundBytes_ >= kMaxInbound) return 0;
  if (timing_.bytesPerSecond <= 0) return kChunk;
  // Like a UART: the next slice is taken once less than a slice of line time is ahead.
  if (inPaceAt_ - static_cast<double>(now) >= kPaceSliceMs) return 0;
  return PaceSlice(timing_.bytesPerSecond);
}

void StreamServer::Arrive(std::string_view bytes) {
  const int64_t now = TickCount();
  const int latency = std::max(timing_.toDeviceLatencyMs, 0);
  int64_t due = now + latency;
  if (timing_.bytesPerSecond > 0) {
    // A byte reaches the device once the line has carried it, then the latency.
    inPaceAt_ = PaceOn(inPaceAt_, now, bytes.size(), timing_.bytesPerSecond);
    due = static_cast<int64_t>(std::ceil(inPaceAt_)) + latency;
  } else if (latency == 0 && inbound_.empty()) {
    device_.Receive(0, bytes);
    return;
  }
  // Behind bytes still on their way, in order.
  inbound_.push_back({due, std::string(bytes)});
  inboundBytes_ += bytes.size();
}

void StreamServer::Take(int64_t now) {
  while (outboundBytes_ < kChunk) {
    std::string out = device_.TakeOutput(0, kChunk - outboundBytes_);
    if (out.empty()) return;
    outboundBytes_ += out.size();
    const int64_t due = now + std::max(timing_.toHostLatencyMs, 0);
    if (!outbound_.empty() && outbound_.back().due == due) {
      outbound_.back().data += out;
    } else {
      outbound_.push_back({due, std::move(out)});
    }
  }
}

bool StreamServer::Flush(int64_t now, int64_t& wakeAt, bool& blocked) {
  while (!outbound_.empty()) {
    Piece& piece = outbound_.front();
    const int64_t ready = std::max(piece.due, nextWrite_);
    if (ready > now) {
      wakeAt = ready;
      return true;
    }
    size_t n = piece.data.size() - piece.head;
    if (timing_.chunkBytes > 0) n = std::min(n, chunkLeft_);
    if (timing_.bytesPerSecond > 0) n = std::min(n, PaceSlice(timing_.bytesPerSecond));
    const ssize_t w = write(fd_, piece.data.data() + piece.head, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        blocked = true;
        return true;
      }
      return false;
    }
    const size_t written = static_cast<size_t>(w);
    sent_ += written;
    piece.head += written;
    outboundBytes_ -= written;
    if (piece.head == piece.data.size()) outbound_.pop_front();
    if (timing_.bytesPerSecond > 0) {
      paceAt_ = PaceOn(paceAt_, now, written, timing_.bytesPerSecond);
      nextWrite_ = std::max(nextWrite_, static_cast<int64_t>(std::ceil(paceAt_)));
    }
    if (timing_.chunkBytes > 0) {
      chunkLeft_ -= std::min(chunkLeft_, written);
      // A piece ends when it is full or the device has nothing more to say.
      if (chunkLeft_ == 0 || (outbound_.empty() && device_.PendingOutput(0) == 0)) {
        chunkLeft_ = timing_.chunkBytes;
        nextWrite_ = std::max(nextWrite_, now + std::max(timing_.chunkGapMs, 0));
      }
    }
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
  std::string buf(kChunk, '\0');
  for (;;) {
    pollfd fds[2] = {{fd_, 0, 0}, {wake_[0], POLLIN, 0}};
    int timeout = -1;
    size_t room = 0;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      const int64_t now = TickCount();
      Deliver(now);
      device_.Tick(device_.Now());
      int64_t wakeAt = -1;
      bool blocked = false;
      // Write until the device has nothing more, the connection is full, or the timing
      // holds the output back.
      for (int round = 0; round < kRoundsPerTurn; ++round) {
        Take(now);
        if (!Flush(now, wakeAt, blocked)) return;
        if (blocked || wakeAt >= 0 || device_.PendingOutput(0) == 0) break;
      }
      const bool idle = outbound_.empty() && device_.PendingOutput(0) == 0;
      if (device_.DisconnectRequested() && idle) {
        // A serial line outlives the device's restart; a connection does not.
        if (!keepOnHangup || device_.RestartAt() < 0) return;
        device_.ClearDisconnect();
      }
      auto consider = [&](int64_t at) {
        if (at >= 0 && (wakeAt < 0 || at < wakeAt)) wakeAt = at;
      };
      if (!blocked && !idle && outbound_.empty()) consider(now);  // more to take at once
      if (!inbound_.empty()) consider(inbound_.front().due);
      const int64_t deviceAt = device_.NextDeadline();
      if (deviceAt >= 0) consider(now + std::max<int64_t>(deviceAt - device_.Now(), 0));
      room = InboundRoom(now);
      if (room > 0) {
        fds[0].events |= POLLIN;
      } else if (timing_.bytesPerSecond > 0 && inboundBytes_ < kMaxInbound) {
        // When less than a slice of line time is left ahead.
        consider(static_cast<int64_t>(std::floor(inPaceAt_)) - kPaceSliceMs + 1);
      }
      if (wakeAt >= 0) timeout = static_cast<int>(std::clamp<int64_t>(wakeAt - now, 0, kMaxPollMs));
      if (blocked) fds[0].events |= POLLOUT;
    }
    const int rc = poll(fds, 2, timeout);
    if (rc < 0 && errno != EINTR) return;
    if (rc <= 0) continue;
    if (fds[1].revents & POLLIN) {
      char why[64];
      const ssize_t n = read(wake_[0], why, sizeof why);
      for (ssize_t i = 0; i < n; ++i) {
        if (why[i] == 's') return;
      }
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(fd_, buf.data(), std::min(room, buf.size()));
      if (n > 0) {
        std::lock_guard<std::mutex> guard(mutex_);
        Arrive(std::string_view(buf.data(), static_cast<size_t>(n)));
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
