#include "sim/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "comms/Ticks.h"

extern char** environ;

namespace vxk {

std::string BinDir() {
  const char* dir = std::getenv("VXK_BIN_DIR");
  return dir && *dir ? dir : VXK_DEFAULT_BIN_DIR;
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
  if (argv.empty() || pid_ > 0) return false;
  int outPipe[2];
  int inPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
  if (pipe2(inPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return false;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // A variable given in env replaces the one of the same name.
  const auto given = [&env](const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    for (const auto& e : env)
      if (e.compare(0, name.size(), name) == 0) return true;
    return false;
  };
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e)
    if (!given(*e)) envStrings.emplace_back(*e);
  for (const auto& e : env) envStrings.push_back(e);
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(outPipe[1], 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(inPipe[0]);
  out_ = outPipe[0];
  in_ = inPipe[1];
  if (pid_ < 0) {
    close(out_);
    close(in_);
    out_ = in_ = -1;
    return false;
  }
  fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
  return true;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (in_ >= 0) close(in_);
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

int ChildProcess::Wait(int timeoutMs) {
  const int64_t deadline = TickCount() + timeoutMs;
  while (Running()) {
    if (TickCount() >= deadline) return -1;
    Drain(20);
  }
  Drain(0);
  return status_;
}

void ChildProcess::Signal(int sig) {
  if (Running()) kill(pid_, sig);
}

void ChildProcess::Drain(int timeoutMs) {
  if (out_ < 0) return;
  pollfd p{out_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return;
    output_.append(buf, static_cast<size_t>(n));
  }
}

std::string ChildProcess::Output() {
  Drain(0);
  return output_;
}

bool ChildProcess::WaitForOutput(const std::string& text, int timeoutMs) {
  const int64_t deadline = TickCount() + timeoutMs;
  for (;;) {
    Drain(20);
    if (output_.find(text) != std::string::npos) return true;
    if (TickCount() >= deadline) return false;
    if (!Running()) {
      Drain(0);
      return output_.find(text) != std::string::npos;
    }
  }
}

bool ChildProcess::WriteInput(const std::string& text) {
  if (in_ < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

}  // namespace vxk
