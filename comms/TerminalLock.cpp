#include "comms/TerminalLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "comms/Ticks.h"

namespace vxk {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Why folder cannot hold the lock file; empty when it is a real folder of this user that
// nobody else may write to (so nobody else can plant or swap the lock file).
std::string FolderProblem(const std::string& folder) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return folder + ": " + std::strerror(errno);
  if (S_ISLNK(st.st_mode)) return folder + " is a symbolic link";
  if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
  if (st.st_uid != ::geteuid()) return folder + " belongs to another user";
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return folder + " may be written by other users";
  return {};
}

std::string Unusable(const std::string& detail) {
  return "cannot use the terminal lock: " + detail +
         ". Remove or fix it, or set XDG_RUNTIME_DIR to a folder of your own; until then no "
         "device is opened";
}

}  // namespace

TerminalLock& TerminalLock::Machine() {
  static TerminalLock lock(DefaultPath());
  return lock;
}

std::string TerminalLock::DefaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && FolderProblem(runtime).empty()) {
    return std::string(runtime) + "/" + kName;
  }
  return "/tmp/vxkeeper-" + std::to_string(::geteuid()) + "/" + kName;
}

TerminalLock::TerminalLock(std::string path) : path_(std::move(path)) {}

TerminalLock::~TerminalLock() {
  if (fd_ >= 0) ::close(fd_);
}

int TerminalLock::OpenFile(std::string& problem) {
  if (fd_ >= 0) return fd_;
  const std::string folder = FolderOf(path_);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = Unusable("cannot make " + folder + " (" + std::strerror(errno) + ")");
    return -1;
  }
  const std::string folderProblem = FolderProblem(folder);
  if (!folderProblem.empty()) {
    problem = Unusable(folderProblem);
    return -1;
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    problem = Unusable(path_ + (errno == ELOOP ? std::string(" is a symbolic link")
                                               : ": " + std::string(std::strerror(errno))));
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    problem = Unusable(path_ + " is not a lock file of this user");
    return -1;
  }
  fd_ = fd;
  return fd_;
}

bool TerminalLock::AcquireFile(int timeoutMs, std::string& problem) {
  if (path_.empty()) return true;  // within the process only
  const int fd = OpenFile(problem);
  if (fd < 0) return false;
  if (timeoutMs < 0) {
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        problem = Unusable(path_ + ": " + std::strerror(errno));
        return false;
      }
    }
    return true;
  }
  const int64_t deadline = TickCount() + timeoutMs;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      problem = Unusable(path_ + ": " + std::strerror(errno));
      return false;
    }
    const int64_t left = deadline - TickCount();
    if (left <= 0) return false;
    SleepMs(left < 2 ? static_cast<int>(left) : 2);
  }
}

void TerminalLock::ReleaseFile() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
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
  std::string problem;
  const bool ok = AcquireFile(left, problem);
  guard.lock();
  problem_ = problem;
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

std::string TerminalLock::Problem() {
  std::lock_guard<std::mutex> guard(mutex_);
  return problem_;
}

}  // namespace vxk
