#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "comms/Ticks.h"
#include "sim/ScratchLock.h"

using namespace vxk;

namespace {

// A second process that takes the lock on the same file, reports through a pipe, and then
// waits for a byte (or is killed).
class LockHolder {
 public:
  explicit LockHolder(const std::string& path, int timeoutMs = 2000) {
    if (pipe(toParent_) != 0 || pipe(toChild_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      TerminalLock lock(path);
      const char ok = lock.Lock(timeoutMs) ? 'L' : 'F';
      if (write(toParent_[1], &ok, 1) != 1) _exit(3);
      char c;
      if (read(toChild_[0], &c, 1) != 1) _exit(0);
      lock.Unlock();
      const char done = 'U';
      if (write(toParent_[1], &done, 1) != 1) _exit(3);
      _exit(0);
    }
    close(toParent_[1]);
    close(toChild_[0]);
  }
  ~LockHolder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(toParent_[0]);
    close(toChild_[1]);
  }

  char Next() {
    char c = 0;
    return read(toParent_[0], &c, 1) == 1 ? c : 0;
  }
  void Release() {
    const char c = 'r';
    ASSERT_EQ(write(toChild_[1], &c, 1), 1);
  }
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
};

TEST(TerminalLock, IsRecursiveForItsOwnerAndCountsLevels) {
  ScratchLock scratch;
  TerminalLock& lock = scratch.Lock();
  EXPECT_TRUE(lock.Lock(0));
  EXPECT_TRUE(lock.Lock(0));
  lock.Unlock();
  EXPECT_TRUE(lock.HeldByThisThread());
  lock.Unlock();
  EXPECT_FALSE(lock.HeldByThisThread());
  // An Unlock without a Lock changes nothing.
  lock.Unlock();
  EXPECT_TRUE(lock.Lock(0));
  lock.Unlock();
}

TEST(TerminalLock, OtherThreadWaitsItsTimeOut) {
  ScratchLock scratch;
  TerminalLock& lock = scratch.Lock();
  ASSERT_TRUE(lock.Lock(0));
  bool got = true;
  int64_t waited = 0;
  std::thread other([&] {
    const int64_t start = TickCount();
    got = lock.Lock(100);
    waited = TickCount() - start;
    if (got) lock.Unlock();
  });
  other.join();
  EXPECT_FALSE(got);
  EXPECT_GE(waited, 90);
  lock.Unlock();
  std::thread again([&] {
    got = lock.Lock(100);
    if (got) lock.Unlock();
  });
  again.join();
  EXPECT_TRUE(got);
}

TEST(TerminalLock, ExcludesAnotherProcessUntilReleased) {
  ScratchLock scratch;
  LockHolder holder(scratch.Path());
  ASSERT_EQ(holder.Next(), 'L');
  const int64_t start = TickCount();
  EXPECT_FALSE(scratch.Lock().Lock(150));
  EXPECT_GE(TickCount() - start, 140);
  holder.Release();
  ASSERT_EQ(holder.Next(), 'U');
  EXPECT_TRUE(scratch.Lock().Lock(1000));
  scratch.Lock().Unlock();
}

TEST(TerminalLock, WaitWithoutLimitEndsWhenTheOtherProcessReleases) {
  ScratchLock scratch;
  LockHolder holder(scratch.Path());
  ASSERT_EQ(holder.Next(), 'L');
  std::thread releaser([&] {
    SleepMs(100);
    holder.Release();
  });
  EXPECT_TRUE(scratch.Lock().Lock(-1));
  scratch.Lock().Unlock();
  releaser.join();
}

TEST(TerminalLock, HolderKilledReleasesTheLock) {
  ScratchLock scratch;
  LockHolder holder(scratch.Path());
  ASSERT_EQ(holder.Next(), 'L');
  EXPECT_FALSE(scratch.Lock().Lock(0));
  holder.Kill();
  EXPECT_TRUE(scratch.Lock().Lock(1000));
  scratch.Lock().Unlock();
}

// A holder killed at any point (starting up, waiting for, taking, just after taking or
// holding the lock) never keeps another process out: the kernel drops its lock with it.
TEST(TerminalLock, HolderKilledAtRandomPointsNeverBlocksTheOther) {
  ScratchLock scratch;
  TerminalLock& lock = scratch.Lock();
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  int heldWhenKilled = 0;
  for (int run = 0; run < 100; ++run) {
    // 0: killed after a random delay; 1: killed a random moment after it reported the lock;
    // 2: killed while waiting, or while taking it as this process lets go.
    const int mode = run % 3;
    if (mode == 2) ASSERT_TRUE(lock.Lock(0));
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TerminalLock mine(scratch.Path());
      const char c = mine.Lock(-1) ? 'L' : 'F';
      if (write(report[1], &c, 1) != 1) _exit(3);
      for (;;) pause();
    }
    close(report[1]);
    const auto randomUs = [&](int maxUs) {
      return std::uniform_int_distribution<int>(0, maxUs)(random);
    };
    char c = 0;
    if (mode == 1) ASSERT_EQ(read(report[0], &c, 1), 1);
    usleep(static_cast<useconds_t>(randomUs(3000)));
    if (mode == 2) {
      lock.Unlock();
      usleep(static_cast<useconds_t>(randomUs(500)));
    }
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    const int64_t killed = TickCount();
    const bool got = lock.Lock(1000);
    const int64_t took = TickCount() - killed;
    if (got) lock.Unlock();
    waitpid(pid, nullptr, 0);
    if (c == 'L' || read(report[0], &c, 1) == 1) ++heldWhenKilled;
    close(report[0]);
    ASSERT_TRUE(got) << "run " << run << ", mode " << mode;
    EXPECT_LT(took, 1000) << "run " << run;
  }
  // Mode 1 alone makes a third of the runs die holding the lock.
  EXPECT_GE(heldWhenKilled, 33);
}

TEST(TerminalLock, HeldLockKeepsTheOtherProcessOut) {
  ScratchLock scratch;
  ASSERT_TRUE(scratch.Lock().Lock(0));
  LockHolder holder(scratch.Path(), 200);
  // The child gives up after its 200 ms.
  EXPECT_EQ(holder.Next(), 'F');
  scratch.Lock().Unlock();
}

TEST(TerminalLock, DefaultPathCarriesTheLockName) {
  EXPECT_NE(TerminalLock::DefaultPath().find("Corvane_vx.keeper_Terminal_Mutex"),
            std::string::npos);
}

}  // namespace
