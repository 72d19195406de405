#include "server/ServerDaemon.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "comms/Ticks.h"
#include "comms/uKeepAlive.h"
#include "server/ChildStarter.h"
#include "server/KeyPipe.h"

namespace vxk {
namespace {

// TCP keep-alive of an accepted device: idle time and probe interval.
constexpr int kKeepAliveIdleMs = 60000;
constexpr int kKeepAliveIntervalMs = 10000;

// Descriptors 0 to 2 are the child's console: a connection there would mix console output
// into the device link, so it moves to 3 or higher. -1 when it cannot.
int AboveConsole(int handle) {
  if (handle >= 3) return handle;
  const int moved = fcntl(handle, F_DUPFD_CLOEXEC, 3);
  close(handle);
  return moved;
}

}  // namespace

ServerDaemon::ServerDaemon(int roundTripMs, int extraMs)
    : roundTripMs_(roundTripMs),
      extraMs_(extraMs),
      program_("/proc/self/exe"),
      programName_(OwnProgramPath()) {
  if (programName_.empty()) programName_ = program_;
}

void ServerDaemon::SetProgram(const std::string& path, const std::string& name) {
  program_ = path;
  programName_ = name;
}

bool ServerDaemon::StartListening(const std::string& port, const LogSink& log) {
  listening_ = false;
  if (!listen_.Bind("0.0.0.0", port)) log("BIND ERROR!");
  // After a failed bind there is no socket, so the listen fails too (and reports it).
  if (!listen_.HasHandle() || !listen_.Listen(SOMAXCONN)) {
    log("LISTEN ERROR!");
    listen_.Close();
    return false;
  }
  listen_.SetLinger(true, roundTripMs_);
  listening_ = true;
  return true;
}

int ServerDaemon::Port() const {
  if (!listening_) return 0;
  const std::string& address = listen_.LocalAddress();
  return std::atoi(address.c_str() + address.rfind(':') + 1);
}

int ServerDaemon::AcceptWaiting(int waitMs, const LogSink& log, int budgetMs) {
  ReapChildren();
  cutShort_ = false;
  if (!listening_) return 0;
  const int64_t end = TickCount() + budgetMs;
  int started = 0;
  for (bool first = true;; first = false) {
    // Devices that keep arriving within waitMs of each other would otherwise keep the tick
    // going. The first waiting device is always taken.
    if (!first && TickCount() >= end) {
      cutShort_ = true;
      break;
    }
    if (!listen_.WaitReadable(waitMs)) break;
    int handle = listen_.Accept();
    if (handle < 0) break;  // a lasting error (EMFILE) would spin here; the next tick retries
    ++accepted_;
    handle = AboveConsole(handle);
    if (handle < 0) break;
    if (children_.size() >= limit_) ReapChildren();  // one may have ended since the tick began
    if (children_.size() >= limit_) {
      close(handle);
      ++refused_;
      log("Socket " + std::to_string(handle) + " refused: " + std::to_string(children_.size()) +
          " children running (limit " + std::to_string(limit_) + ")");
      continue;
    }
    const pid_t pid = StartChild(handle);
    // The child holds its own copy now; without this one the device sees the child's close.
    close(handle);
    if (pid > 0) {
      log("Socket " + std::to_string(handle) + ", Proc " + std::to_string(pid));
      ++started;
    }
  }
  return started;
}

pid_t ServerDaemon::StartChild(int handle) {
  SetKeepAlive(handle, kKeepAliveIdleMs, kKeepAliveIntervalMs);
  KeyPipe key;
  if (!key.Fill(key_)) return 0;
  const ChildStart start =
      StartChildProcess(program_, ChildArguments(handle, key.ReadEnd()), {handle, key.ReadEnd()});
  if (start.pid > 0) children_.push_back(start.pid);
  return start.pid;
}

std::vector<std::string> ServerDaemon::ChildArguments(int handle, int keyFd) const {
  return {programName_, "-sock=" + std::to_string(handle), "-rtt=" + std::to_string(roundTripMs_),
          "-time=" + std::to_string(extraMs_), "-keyfd=" + std::to_string(keyFd)};
}

void ServerDaemon::ReapChildren() {
  children_.erase(std::remove_if(children_.begin(), children_.end(), ReapIfEnded), children_.end());
}

}  // namespace vxk
