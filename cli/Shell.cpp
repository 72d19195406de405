#include "cli/Shell.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "cli/ShellScreen.h"
#include "comms/LinkLock.h"
#include "comms/Ticks.h"

namespace vxk {
namespace {

constexpr int kPollMs = 20;
constexpr int kLockMs = 1000;
constexpr int kAliveCheckMs = 500;

// Raw mode for one scope; the old settings come back at the end.
class RawMode {
 public:
  explicit RawMode(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    ::cfmakeraw(&raw);
    raw.c_oflag |= OPOST;  // keep LF as CR LF on output
    active_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
  ~RawMode() {
    if (active_) ::tcsetattr(fd_, TCSANOW, &saved_);
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int RunShell(CliContext& c, int inputFd, int outputFd) {
  if (!::isatty(inputFd)) {
    c.err << "vxkctl: shell needs a terminal on standard input\n";
    return kExitUsage;
  }
  TvxComms& link = c.session.Link();
  TvxTerminal& terminal = c.session.Terminal();
  ShellScreen screen;
  c.Note("Connected; Ctrl+] leaves.");
  RawMode raw(inputFd);
  // A fresh prompt to start with.
  terminal.Send(std::string(1, TvxTerminal::kEsc));
  int64_t nextAliveCheck = TickCount() + kAliveCheckMs;
  while (!c.cancel) {
    pollfd pfd{inputFd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, kPollMs);
    if (ready > 0) {
      char keys[256];
      const ssize_t n = ::read(inputFd, keys, sizeof keys);
      if (n <= 0) break;  // end of input
      for (ssize_t i = 0; i < n; ++i) {
        if (keys[i] == kShellLeaveKey) {
          WriteAll(outputFd, "\r\n");
          return kExitOk;
        }
        if (!terminal.Send(std::string(1, keys[i]))) continue;  // as the window: dropped
        WriteAll(outputFd, screen.Typed(keys[i]));
      }
    }
    std::string incoming;
    {
      LinkLock lock(link, kLockMs);
      if (lock) {
        for (std::string part; !(part = link.Read(0, 0, -1)).empty();) incoming += part;
      }
    }
    if (!incoming.empty() && !WriteAll(outputFd, screen.Incoming(incoming))) break;
    bool gone = !link.IsOpen();
    if (!gone && TickCount() >= nextAliveCheck) {
      nextAliveCheck = TickCount() + kAliveCheckMs;
      gone = !link.IsAlive();
    }
    if (gone) {
      WriteAll(outputFd, "\r\n");
      return c.Fail("the device went away");
    }
  }
  WriteAll(outputFd, "\r\n");
  return c.cancel ? kExitInterrupted : kExitOk;
}

}  // namespace vxk
