#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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
  EXPECT_EQ(scratch.Lock().Problem(), "");  // busy, not broken
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

// A lock file someone else could plant or swap never lets the program run unlocked: Lock
// fails and says why. A missing folder is made private.
TEST(TerminalLock, UnsafeLockPlacesAreRefusedWithAReason) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/vxk-lockplace-XXXXXX";
  const std::string root = ::mkdtemp(pattern);
  const std::string name = TerminalLock::kName;
  struct Case {
    const char* what;
    std::function<void(const std::string& dir)> plant;  // dir: the lock's folder
  };
  std::vector<Case> cases = {
      {"folder open to all", [](const std::string& d) { ::chmod(d.c_str(), 0777); }},
      {"folder is a symbolic link",
       [&](const std::string& d) {
         fs::create_directory(d + ".real");
         ::chmod((d + ".real").c_str(), 0700);
         fs::remove(d);
         fs::create_directory_symlink(d + ".real", d);
       }},
      {"lock file is a symbolic link",
       [&](const std::string& d) { fs::create_symlink(root + "/elsewhere", d + "/" + name); }},
      {"lock file is a folder",
       [&](const std::string& d) { fs::create_directory(d + "/" + name); }},
  };
  if (::geteuid() == 0) {
    cases.push_back({"folder of another user",
                     [](const std::string& d) { ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0); }});
    cases.push_back({"lock file of another user", [&](const std::string& d) {
                       const std::string f = d + "/" + name;
                       std::fclose(std::fopen(f.c_str(), "w"));
                       ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
                     }});
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string dir = root + "/" + std::to_string(i);
    fs::create_directory(dir);
    ::chmod(dir.c_str(), 0700);
    cases[i].plant(dir);
    TerminalLock lock(dir + "/" + name);
    EXPECT_FALSE(lock.Lock(100)) << cases[i].what;
    EXPECT_NE(lock.Problem().find("cannot use the terminal lock: " + dir), std::string::npos)
        << cases[i].what << ": " << lock.Problem();
    EXPECT_FALSE(lock.HeldByThisThread());
  }
  // A missing folder is made, for this user only.
  TerminalLock fresh(root + "/new/" + name);
  ASSERT_TRUE(fresh.Lock(0)) << fresh.Problem();
  fresh.Unlock();
  struct stat st {};
  ASSERT_EQ(::lstat((root + "/new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  fs::remove_all(root);
}

// XDG_RUNTIME_DIR when it is a private folder; otherwise a private folder of this user in /tmp,
// never a file directly in /tmp.
TEST(TerminalLock, DefaultPathIsInAPrivateFolder) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  const std::string fallback =
      "/tmp/vxkeeper-" + std::to_string(::geteuid()) + "/" + TerminalLock::kName;
  ScratchLock scratch;  // its folder is private
  const std::string privateDir = scratch.Path().substr(0, scratch.Path().rfind('/'));
  const std::pair<const char*, std::string> cases[] = {
      {nullptr, fallback},    {"", fallback},
      {"/tmp", fallback},  // open to every user
      {"relative", fallback}, {privateDir.c_str(), privateDir + "/" + TerminalLock::kName},
  };
  for (const auto& [runtime, expected] : cases) {
    if (runtime)
      ::setenv("XDG_RUNTIME_DIR", runtime, 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TerminalLock::DefaultPath(), expected) << (runtime ? runtime : "(unset)");
  }
  if (saved)
    ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
  else
    ::unsetenv("XDG_RUNTIME_DIR");
}

// A lock without a file (a serve session's own): threads of the process still wait for each
// other, another program holding the machine's lock does not hold it up.
TEST(TerminalLock, WithoutFileKeepsThreadsApartOnly) {
  ScratchLock machine;
  LockHolder other(machine.Path());
  ASSERT_EQ(other.Next(), 'L');
  TerminalLock own("");
  ASSERT_TRUE(own.Lock(0));
  EXPECT_TRUE(own.Lock(0));  // recursive for its owner
  std::atomic<bool> got{false};
  std::thread second([&] { got = own.Lock(50); });
  second.join();
  EXPECT_FALSE(got);
  own.Unlock();
  own.Unlock();
  std::thread third([&] {
    got = own.Lock(0);
    if (got) own.Unlock();
  });
  third.join();
  EXPECT_TRUE(got);
  EXPECT_TRUE(own.Problem().empty());
  other.Release();
}

}  // namespace
