#include "server/KeyPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "comms/Ticks.h"

namespace vxk {
namespace {

// Moves fd to 3 or higher, close-on-exec: a child's descriptors 0 to 2 are its console.
int AboveConsole(int fd) {
  if (fd >= 3) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

}  // namespace

KeyPipe::~KeyPipe() {
  if (readEnd_ >= 0) close(readEnd_);
}

bool KeyPipe::Fill(const std::string& key) {
  if (readEnd_ >= 0 || key.size() > kMaxPipedKey) return false;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  const int writeEnd = ends[1];
  readEnd_ = AboveConsole(ends[0]);
  // Never blocks: a key that does not fit fails here instead of holding the daemon.
  fcntl(writeEnd, F_SETFL, O_NONBLOCK);
  size_t done = 0;
  while (readEnd_ >= 0 && done < key.size()) {
    const ssize_t n = write(writeEnd, key.data() + done, key.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(writeEnd);
  if (readEnd_ >= 0 && done == key.size()) return true;
  if (readEnd_ >= 0) close(readEnd_);
  readEnd_ = -1;
  return false;
}

bool ReadPipedKey(int fd, std::string& key, int timeoutMs) {
  struct stat info {};
  if (fd < 3 || fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode)))
    return false;
  std::string text;
  const int64_t deadline = TickCount() + timeoutMs;
  bool ended = false;
  char buffer[4096];
  while (!ended && text.size() <= kMaxPipedKey) {
    const int left = static_cast<int>(std::max<int64_t>(0, deadline - TickCount()));
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      ended = n == 0;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (!ended || text.size() > kMaxPipedKey) return false;
  key = text;
  return true;
}

}  // namespace vxk
