#include "server/ChildStarter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace vxk {
namespace {

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

bool Kept(int fd, const int* keep, size_t keepCount) {
  for (size_t i = 0; i < keepCount; ++i)
    if (keep[i] == fd) return true;
  return false;
}

[[noreturn]] void Fail(int errorFd) {
  const int e = errno;
  (void)!write(errorFd, &e, sizeof e);
  _exit(127);
}

// Closes the descriptors from 3 up that are open, as /proc/self/fd lists them, read with raw
// calls only (no allocation). False when the listing cannot be read.
bool CloseListed(const int* keep, size_t keepCount, int errorFd) {
  const int dir = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  alignas(8) char buffer[4096];
  for (;;) {
    const long n = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
    if (n < 0) {
      close(dir);
      return false;
    }
    if (n == 0) break;
    for (long at = 0; at < n;) {
      // struct linux_dirent64: d_ino (8), d_off (8), d_reclen (2), d_type (1), d_name.
      uint16_t length;
      memcpy(&length, buffer + at + 16, sizeof length);
      const char* name = buffer + at + 19;
      at += length;
      if (*name < '0' || *name > '9') continue;
      int fd = 0;
      for (; *name >= '0' && *name <= '9'; ++name) fd = fd * 10 + (*name - '0');
      if (fd >= 3 && fd != dir && fd != errorFd && !Kept(fd, keep, keepCount)) close(fd);
    }
  }
  close(dir);
  return true;
}

// Between fork and exec only async-signal-safe calls: the parent may have other threads.
[[noreturn]] void RunChild(const char* program, char* const* argv, const int* keep,
                           size_t keepCount, int errorFd, int maxFd, bool closeRange) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  setpgid(0, 0);
  bool marked = false;
#ifdef SYS_close_range
  if (closeRange) marked = syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0;
#endif
  // Without close_range, closing every number up to a limit of a million descriptors would
  // cost each child tens of milliseconds: only the open ones are closed.
  if (!marked && !CloseListed(keep, keepCount, errorFd)) {
    for (int fd = 3; fd < maxFd; ++fd)
      if (fd != errorFd && !Kept(fd, keep, keepCount)) close(fd);
  }
  // The error pipe stays close-on-exec, so a successful exec closes it.
  for (size_t i = 0; i < keepCount; ++i)
    if (keep[i] >= 0 && fcntl(keep[i], F_SETFD, 0) != 0) Fail(errorFd);
  execv(program, argv);
  Fail(errorFd);
}

}  // namespace

ChildStart StartChildProcess(const std::string& program, const std::vector<std::string>& argv,
                             const std::vector<int>& keepFds, bool closeRange) {
  ChildStart result;
  if (argv.empty() || program.empty()) {
    result.failure = StartFailure::NoArguments;
    return result;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  rlimit limit{};
  const int maxFd = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                            limit.rlim_cur < static_cast<rlim_t>(INT_MAX)
                        ? static_cast<int>(limit.rlim_cur)
                        : 65536;

  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0) {
    result.failure = StartFailure::Pipe;
    result.error = errno;
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0)
    RunChild(program.c_str(), args.data(), keepFds.data(), keepFds.size(), errorPipe[1], maxFd,
             closeRange);
  const int forkError = errno;
  close(errorPipe[1]);
  if (pid < 0) {
    close(errorPipe[0]);
    result.failure = StartFailure::Fork;
    result.error = forkError;
    return result;
  }
  // Nothing arrives when the exec succeeded (the pipe closes with it), else the child's errno.
  int childError = 0;
  ssize_t n;
  do {
    n = read(errorPipe[0], &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  close(errorPipe[0]);
  if (n > 0) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    result.failure = StartFailure::Exec;
    result.error = childError;
    return result;
  }
  result.pid = pid;
  return result;
}

std::string OwnProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool ReapIfEnded(pid_t pid) {
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  return r != 0;
}

}  // namespace vxk
