#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "session/LinkPoll.h"
#include "ui/UiRunner.h"

namespace vxk {

class Connector;
class TerminalLock;

// The main window's connection, run as quiet operations on the worker through one Connector:
// the start (listen port, inherited socket), the timers' poll of the link and watch for its
// device, and listening again after a refused header. What they find comes back on the window
// thread, with the connection's status lines ("Listening on 5000", the header's lines) told
// to status first, in order. A poll or a watch is not posted again while its previous one has
// not come back, so a slow link never fills the queue.
class LinkMonitor : public QObject {
  Q_OBJECT

 public:
  using StatusSink = std::function<void(const QString& line)>;
  struct Worker;  // what stays on the worker between the operations

  LinkMonitor(UiRunner& runner, TerminalLock& lock, StatusSink status, QObject* parent);

  // Sets the link up; usable is false when the terminal lock cannot be used at all (then no
  // device may be opened; the status said why), started false when the link could not be set
  // up (a port that cannot be listened on).
  void Start(std::function<void(bool usable, bool started)> done);
  // False when the previous poll (or watch) is still on its way.
  bool Poll(const PollRequest& request, std::function<void(PollResult&)> done);
  bool Watch(std::function<void(WatchResult&)> done);
  // listening tells whether the port listens again.
  void ListenAgain(std::function<void(bool listening)> done = {});

 private:
  UiRunner::Op Quiet(const QString& what);

  UiRunner& runner_;
  TerminalLock& lock_;
  StatusSink status_;
  std::shared_ptr<Worker> worker_;
  bool polling_ = false;
  bool watching_ = false;
};

}  // namespace vxk
