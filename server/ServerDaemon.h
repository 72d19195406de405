#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "comms/TcpSocket.h"

namespace vxk {

// The daemon behind the server window: listens on a TCP port and starts one tool process per
// device that connects, handing it the connection as -sock=HANDLE and the key on a pipe
// (-keyfd=N). It never speaks to a device itself. It keeps at most ChildLimit() children
// alive: a connection beyond that is closed at once, so that a flood of connections can never
// start more tool processes than the machine can hold.
class ServerDaemon {
 public:
  using LogSink = std::function<void(const std::string&)>;

  static constexpr int kDefaultRoundTripMs = 8000;
  static constexpr int kDefaultExtraMs = 500;
  static constexpr int kDefaultChildLimit = 32;

  // The time-outs handed to every child; rtt is also the listening socket's linger time.
  ServerDaemon(int roundTripMs, int extraMs);
  ServerDaemon(const ServerDaemon&) = delete;
  ServerDaemon& operator=(const ServerDaemon&) = delete;

  // The children run this program under this name; by default the running program itself.
  void SetProgram(const std::string& path, const std::string& name);
  void SetKey(const std::string& key) { key_ = key; }
  // Children alive at once; values below 1 count as 1.
  void SetChildLimit(int limit) { limit_ = limit < 1 ? 1 : static_cast<size_t>(limit); }
  int ChildLimit() const { return static_cast<int>(limit_); }

  // Binds to 0.0.0.0:port and listens; failures go to log as "BIND ERROR!" / "LISTEN ERROR!".
  // False when nothing listens.
  bool StartListening(const std::string& port, const LogSink& log);
  bool Listening() const { return listening_; }
  // The port listened on (useful after port "0"); 0 when not listening.
  int Port() const;

  // One tick stops taking connections once this long has passed, so that a flood of devices
  // cannot hold the window; those still waiting stay in the backlog for the next tick.
  static constexpr int kTickBudgetMs = 250;

  // One timer tick: reaps ended children, then takes every connection that is waiting
  // (each found within waitMs) and starts its child, logging "Socket %d, Proc %d"; with the
  // limit reached the connection is closed instead, logging "Socket %d refused: %d children
  // running (limit %d)". An accept error or the end of budgetMs ends the tick. Returns the
  // number of children started.
  int AcceptWaiting(int waitMs, const LogSink& log, int budgetMs = kTickBudgetMs);

  // Starts a child for an accepted connection; its pid, or 0 when it could not be started.
  // The connection stays the caller's to close.
  pid_t StartChild(int handle);

  // The child's argument vector for a connection and the descriptor that carries the key.
  std::vector<std::string> ChildArguments(int handle, int keyFd) const;

  int RoundTripTime() const { return roundTripMs_; }
  int ExtraTime() const { return extraMs_; }
  // Children started and not yet seen to end.
  size_t LiveChildren() const { return children_.size(); }
  // The last tick ended at its budget, most likely with devices still waiting: the next tick
  // should follow as soon as the window's other work allows.
  bool CutShort() const { return cutShort_; }
  // Connections taken since the daemon was made, with or without a child.
  size_t Accepted() const { return accepted_; }
  // Of those, the ones closed because the limit was reached.
  size_t Refused() const { return refused_; }

 private:
  void ReapChildren();

  TcpSocket listen_;
  bool listening_ = false;
  int roundTripMs_;
  int extraMs_;
  std::string key_;
  std::string program_;
  std::string programName_;
  std::vector<pid_t> children_;
  size_t limit_ = kDefaultChildLimit;
  size_t accepted_ = 0;
  size_t refused_ = 0;
  bool cutShort_ = false;
};

}  // namespace vxk
