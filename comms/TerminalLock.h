#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace vxk {

// A recursive lock shared by every process of the program run by one user.
// Across processes it is an flock() on a lock file, which the kernel releases when its
// holder dies; within the process the owning thread may take it again, and other threads
// wait. Each successful Lock is matched by one Unlock.
//
// The lock file lives in a folder only this user can write to (a missing folder is made,
// 0700). When that folder or the file is not private (a symbolic link, another owner, open to
// others), Lock fails and Problem() says why: running unlocked would let two programs talk to
// one device at once.
//
// A lock made with an empty path has no lock file: it keeps threads of this process apart and
// nothing else. A link that no other program can reach (a TCP connection a vxkctl serve session
// accepted itself) takes one of its own, so that independent devices are not served one
// exchange at a time.
class TerminalLock {
 public:
  static constexpr const char* kName = "Corvane_vx.keeper_Terminal_Mutex";

  // The one lock of this process under the program's lock name.
  static TerminalLock& Machine();
  // $XDG_RUNTIME_DIR/<name> when that is a private folder of this user, else
  // /tmp/vxkeeper-<uid>/<name>.
  static std::string DefaultPath();

  explicit TerminalLock(std::string path);
  ~TerminalLock();
  TerminalLock(const TerminalLock&) = delete;
  TerminalLock& operator=(const TerminalLock&) = delete;

  // Waits at most timeoutMs (negative: without limit); true when the lock is held.
  bool Lock(int timeoutMs);
  // Releases one level; without a matching Lock by this thread it does nothing.
  void Unlock();
  bool HeldByThisThread();
  const std::string& Path() const { return path_; }
  // Why the last Lock failed other than by waiting: the lock file cannot be had safely.
  // Empty when the lock was only busy, or has not failed.
  std::string Problem();

 private:
  bool AcquireFile(int timeoutMs, std::string& problem);
  void ReleaseFile();
  int OpenFile(std::string& problem);

  std::string path_;
  int fd_ = -1;
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  int depth_ = 0;
  std::string problem_;
};

}  // namespace vxk
