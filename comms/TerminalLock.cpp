#include "comms/TerminalLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "comms/Ticks.h"

namespace vxk {

TerminalLock& TerminalLock::Machine() {
  static TerminalLock lock(DefaultPath());
  return lock;
}

std::string TerminalLock::DefaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (runtime && *runtime && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
      access(runtime, W_OK) == 0) {
    return std::string(runtime) + "/" + kName;
  }
  return std::string("/tmp/") + kName + "-" + std::to_string(getuid());
}

TerminalLock::TerminalLock(std::string path) : path_(std::move(path)) {}

TerminalLock::~TerminalLock() {
  if (fd_ >= 0) close(fd_);
}

int TerminalLock::OpenFile() {
  if (fd_ >= 0) return fd_;
  int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  // A file planted by another user must not let that user hold our lock.
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_uid != getuid() || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  fd_ = fd;
  return fd_;
}

bool TerminalLock::AcquireFile(int timeoutMs) {
  const int fd = OpenFile();
  // Without a usable lock file the lock still serialises this process.
  if (fd < 0) return true;
  if (timeoutMs < 0) {
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) return true;
    }
    return true;
  }
  const int64_t deadline = TickCount() + timeoutMs;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    const int64_t left = deadline - TickCount();
    if (left <= 0) return false;
    SleepMs(left < 2 ? static_cast<int>(left) : 2);
  }
}

void TerminalLock::ReleaseFile() {
  if (fd_ >= 0) flock(fd_, LOCK_UN);
}

bool TerminalLock::Lock(int timeoutMs) {
  const auto me = std::this_thread::get_id();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> guard(mutex_);
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return true;
  }
  while (depth_ > 0) {
    if (timeoutMs < 0) {
      released_.wait(guard);
    } else if (released_.wait_until(guard, deadline) == std::cv_status::timeout && depth_ > 0) {
      return false;
    }
  }
  // Claim the lock within the process, then across processes without holding the mutex.
  owner_ = me;
  depth_ = 1;
  guard.unlock();
  int left = timeoutMs;
  if (timeoutMs >= 0) {
    const auto now = std::chrono::steady_clock::now();
    left = now >= deadline
               ? 0
               : static_cast<int>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
  }
  const bool ok = AcquireFile(left);
  guard.lock();
  if (!ok) {
    owner_ = std::thread::id();
    depth_ = 0;
    released_.notify_all();
  }
  return ok;
}

void TerminalLock::Unlock() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
  if (--depth_ == 0) {
    ReleaseFile();
    owner_ = std::thread::id();
    released_.notify_all();
  }
}

bool TerminalLock::HeldByThisThread() {
  std::lock_guard<std::mutex> guard(mutex_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

}  // namespace vxk
