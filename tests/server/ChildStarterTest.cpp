#include "server/ChildStarter.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "comms/Ticks.h"

using namespace vxk;

namespace {

std::set<int> OpenDescriptors(pid_t pid) {
  std::set<int> fds;
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (!dir) return fds;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.') fds.insert(std::stoi(e->d_name));
  closedir(dir);
  return fds;
}

std::string ProcFile(pid_t pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// With close_range and, as on kernels without it, through the listing of open descriptors.
class ChildStarter : public ::testing::TestWithParam<bool> {};

TEST_P(ChildStarter, ChildHoldsOnlyTheHandedSocketInItsOwnGroup) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  // Descriptors the parent left inheritable by mistake must not reach the child either, the
  // one with a high number included.
  const int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 3);
  const int highStray = fcntl(stray, F_DUPFD, 900);
  ASSERT_GE(highStray, 900);

  const ChildStart start =
      StartChildProcess("/bin/sleep", {"my sleep", "30"}, {pair[1]}, GetParam());
  ASSERT_GT(start.pid, 0);
  EXPECT_EQ(start.failure, StartFailure::None);
  // The start returns after the exec, but the program's loader may still hold a library
  // open: the descriptors are final once the program sleeps.
  const std::set<int> expected{0, 1, 2, pair[1]};
  const int64_t settle = TickCount() + 2000;
  while (ProcFile(start.pid, "wchan").find("nanosleep") == std::string::npos &&
         TickCount() < settle)
    SleepMs(5);
  EXPECT_EQ(OpenDescriptors(start.pid), expected);
  EXPECT_EQ(ProcFile(start.pid, "cmdline"), std::string("my sleep\0"
                                                        "30\0",
                                                        12));
  // stat: pid (comm) state ppid pgrp ...
  std::istringstream stat(
      ProcFile(start.pid, "stat").substr(ProcFile(start.pid, "stat").rfind(')') + 2));
  std::string state;
  pid_t ppid = 0, pgrp = 0;
  stat >> state >> ppid >> pgrp;
  EXPECT_EQ(pgrp, start.pid);
  // The parent's descriptors keep their flags.
  EXPECT_NE(fcntl(pair[1], F_GETFD) & FD_CLOEXEC, 0);

  EXPECT_FALSE(ReapIfEnded(start.pid));
  kill(start.pid, SIGKILL);
  const int64_t deadline = TickCount() + 3000;
  bool reaped = false;
  while (!(reaped = ReapIfEnded(start.pid)) && TickCount() < deadline) SleepMs(10);
  EXPECT_TRUE(reaped);
  close(stray);
  close(highStray);
  close(pair[0]);
  close(pair[1]);
}

INSTANTIATE_TEST_SUITE_P(Ways, ChildStarter, ::testing::Values(true, false), [](const auto& info) {
  return info.param ? "CloseRange" : "ProcListing";
});

}  // namespace
