#include "comms/vxCommsComPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "comms/Ticks.h"

namespace vxk {

namespace {

constexpr int kPollSliceMs = 500;
constexpr size_t kReadSize = 256;
// 115200 baud with a start and a stop bit: ten bits a byte.
constexpr double kLineBytesPerSecond = 11520;
// How far the host may get ahead of the line: about what a UART's driver holds.
constexpr double kMostAheadMs = 4096 * 1000.0 / kLineBytesPerSecond;

}  // namespace

TvxCommsComPort::TvxCommsComPort(TerminalLock& lock) : TvxCommsSocket(lock) {}

TvxCommsComPort::~TvxCommsComPort() {
  ClosePort();
}

void TvxCommsComPort::SetPortNumber(int number) {
  portName_ = number >= 1 ? "/dev/ttyS" + std::to_string(number - 1) : std::string();
}

bool TvxCommsComPort::Open() {
  if (port_ < 0 && !portName_.empty()) {
    port_ = ::open(portName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // A port that is missing, busy or not a terminal stays closed; the caller retries.
    if (port_ >= 0 && !Configure()) ClosePort();
  }
  SetOpened(port_ >= 0);
  return port_ >= 0;
}

bool TvxCommsComPort::Configure() {
  // The lock keeps out other processes of this program (and root, whom TIOCEXCL does not
  // stop); TIOCEXCL keeps out other programs that open the port.
  if (flock(port_, LOCK_EX | LOCK_NB) != 0) return false;
  if (ioctl(port_, TIOCEXCL) != 0) return false;
  termios settings{};
  if (tcgetattr(port_, &settings) != 0) return false;
  cfmakeraw(&settings);
  if (cfsetispeed(&settings, B115200) != 0 || cfsetospeed(&settings, B115200) != 0) return false;
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
  settings.c_cflag |= CS8 | CRTSCTS | CLOCAL | CREAD;
  // Reads return at once with what has arrived; waiting is done with poll(). The kernel's
  // tty buffers take the place of driver queue sizes, so there is nothing to size here.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(port_, TCSANOW, &settings) != 0) return false;
  const int lines = TIOCM_RTS | TIOCM_DTR;
  ioctl(port_, TIOCMBIS, &lines);  // a pseudo-terminal has no modem lines
  return true;
}

void TvxCommsComPort::ClosePort() {
  if (port_ < 0) return;
  // The exclusive flag belongs to the terminal, not the descriptor: clear it so that the
  // port can be opened again while someone else still holds it open.
  ioctl(port_, TIOCNXCL);
  ::close(port_);
  port_ = -1;
}

void TvxCommsComPort::Close() {
  pending_.clear();
  ClosePort();
  SetOpened(false);
}

bool TvxCommsComPort::IsAlive() {
  return Opened();
}

bool TvxCommsComPort::Write(const std::string& text, int channel, uint8_t flags, int timeoutMs) {
  if (channel != kTerminalChannel) return false;
  if (text.empty()) return true;
  if (port_ < 0) return false;
  // A text is taken whole or not at all, so no command is ever cut short.
  if (pending_.size() + text.size() > kMaxPending) return false;
  pending_ += text;
  // The driver takes the text only as fast as the line sends it: besides ExtraTime, allow
  // twice the time 115200 baud needs for it (10 bits a byte), so a full block of a file
  // upload is not taken for a stuck line. A write that is late is not cancelled: what is
  // left goes out with the next write or poll, in order.
  const int64_t lineMs = static_cast<int64_t>(pending_.size()) * 10 * 1000 / 115200 + 1;
  const int64_t deadline = TickCount() + std::max(0, ExtraTime()) + 2 * lineMs;
  if (!FlushPending(deadline)) return false;
  // A deeper queue (a USB adapter's, a pseudo-terminal's) would let a long upload run seconds
  // ahead of the line, and the device's closing status would come after the file commands
  // have stopped waiting for it. So the write lasts until the line has caught up to within a
  // UART driver's buffer.
  const double ahead = lineFreeAt_ - static_cast<double>(TickCount()) - kMostAheadMs;
  if (ahead > 0) {
    SleepMs(static_cast<int>(std::min<int64_t>(static_cast<int64_t>(ahead) + 1,
                                               std::max<int64_t>(0, deadline - TickCount()))));
  }
  return true;
}

bool TvxCommsComPort::FlushPending(int64_t deadline) {
  while (!pending_.empty() && port_ >= 0) {
    const ssize_t n = ::write(port_, pending_.data(), pending_.size());
    if (n > 0) {
      pending_.erase(0, static_cast<size_t>(n));
      lineFreeAt_ = std::max(lineFreeAt_, static_cast<double>(TickCount())) +
                    static_cast<double>(n) * 1000.0 / kLineBytesPerSecond;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      pending_.clear();  // the port failed: nothing more can be sent
      return false;
    }
    const int64_t left = deadline - TickCount();
    if (left <= 0) return false;
    pollfd entry{port_, POLLOUT, 0};
    const int rc = ::poll(&entry, 1, static_cast<int>(left));
    if (rc < 0 && errno != EINTR) return false;
    if (rc > 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      pending_.clear();
      return false;
    }
  }
  return pending_.empty();
}

size_t TvxCommsComPort::PendingOutput() {
  int queued = 0;
  if (port_ < 0 || ::ioctl(port_, TIOCOUTQ, &queued) != 0 || queued < 0) queued = 0;
  return pending_.size() + static_cast<size_t>(queued);
}

bool TvxCommsComPort::Poll(int timeoutMs) {
  bool result = false;
  int remaining = timeoutMs;
  char buffer[kReadSize];
  if (!pending_.empty()) FlushPending(TickCount());  // a late write goes on, without waiting
  while (port_ >= 0) {
    // As on the TCP link, bytes the buffer cannot store are left with the driver, where
    // CTS flow control holds the device back.
    const size_t room = std::min(TerminalRoom(), sizeof buffer);
    if (room == 0) return result;
    const int wait = std::max(0, std::min(remaining, kPollSliceMs));
    const int64_t sliceEnd = TickCount() + wait;
    pollfd entry{port_, POLLIN, 0};
    ssize_t n = 0;
    if (::poll(&entry, 1, wait) > 0 && (entry.revents & POLLIN) != 0)
      n = ::read(port_, buffer, room);
    if (n > 0) {
      StoreTerminalBytes(buffer, static_cast<size_t>(n));
      result = true;
      remaining = 0;
      continue;
    }
    // A hung-up line wakes poll() at once; it counts as a silent slice, not a busy loop.
    SleepMs(static_cast<int>(sliceEnd - TickCount()));
    remaining -= wait;
    if (remaining <= 0) return result;
  }
  return result;
}

}  // namespace vxk
