#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comms/HidBackend.h"
#include "comms/Logger.h"
#include "comms/OpResult.h"
#include "comms/TerminalLock.h"
#include "session/DeviceRunner.h"
#include "session/LinkPoll.h"
#include "session/SessionSettings.h"

namespace vxk {

// The result of an operation that returns a value: the value's own result field.
inline const OpResult& ResultOf(const OpResult& result) {
  return result;
}
template <class T>
const OpResult& ResultOf(const T& value) {
  return value.result;
}

// The windows' side of the worker that owns the device session: a window posts an operation
// and gets its progress, steps and result back on the window thread through queued calls,
// never touching a widget from the worker. A callback whose receiver is gone by then is
// dropped; a result that arrives after the runner itself is gone goes nowhere.
//
// Operations that are not quiet are the user's: while one is posted and its done has not
// returned, the runner is Busy (the windows disable what would start another); while one is
// queued or running the busy cursor shows and Started/Progress/Step/Finished describe it.
// Quiet operations are the polls of the link: never busy, never cancelled.
//
// It also keeps what the windows know of the link, as the main window last heard it: whether
// it is open and what the device told about itself.
class UiRunner : public QObject {
  Q_OBJECT

 public:
  using Work = DeviceRunner::Work;
  struct Op {
    QString what;  // for the status area and the log
    Work run;      // on the worker
    // The rest on the window thread, and only while the receiver lives.
    std::function<void(const OpResult& result)> done;
    std::function<void(int64_t done, int64_t total)> progress;  // coalesced: the latest value
    std::function<void(const std::string& what)> step;
    std::function<void(int64_t items)> count;
    bool quiet = false;
    bool stepsInStatus = true;  // steps are also told to the status area
  };

  UiRunner(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock,
           QObject* parent = nullptr);
  ~UiRunner() override;

  // Queues op; false (and nothing happens) once stopped.
  bool Post(QObject* receiver, Op op);
  // An operation returning a value: run gives it on the worker, done gets it with its result.
  template <class T>
  bool Call(QObject* receiver, Op op, std::function<T(Session&, const OpContext&)> run,
            std::function<void(const OpResult&, T&)> done) {
    auto box = std::make_shared<T>();
    op.run = [box, run = std::move(run)](Session& s, const OpContext& c) {
      *box = run(s, c);
      return ResultOf(*box);
    };
    op.done = [box, done = std::move(done)](const OpResult& r) { done(r, *box); };
    return Post(receiver, std::move(op));
  }

  // Stops the user's running operation at its next step (or the next one before it starts).
  void Cancel();
  bool Busy() const { return pending_ > 0; }
  // Cancels, drops what is queued and waits up to waitMs for the worker; nothing is delivered
  // afterwards. True when the worker ended in time.
  bool Stop(int waitMs = DeviceRunner::kStopWaitMs);
  // Runs on the worker once the operations are over, before the session goes.
  void OnTeardown(std::function<void(Session&)> teardown);

  const SessionSettings& Settings() const { return runner_->Settings(); }
  bool IsNetworkLink() const { return runner_->IsNetworkLink(); }
  bool ExpectsHeader() const { return runner_->ExpectsHeader(); }
  const std::string& CaptionSuffix() const { return runner_->CaptionSuffix(); }

  bool LinkOpen() const { return linkOpen_; }
  void SetLinkOpen(bool open);
  const DeviceInfo& Device() const { return device_; }
  void SetDevice(const DeviceInfo& device) { device_ = device; }

  // The program's log; device operations write their start and end here.
  static Logger& Log();

 signals:
  void BusyChanged(bool busy);
  void Started(const QString& what);
  void Progress(qint64 done, qint64 total);
  void Step(const QString& what);
  void Count(qint64 items);
  void Finished(const QString& what, const vxk::OpResult& result);
  void LinkChanged(bool open);

 private:
  struct Mailbox;
  struct Teardowns;
  void Finish(const QString& what, bool quiet, const OpResult& result,
              const std::function<void()>& deliver);

  std::shared_ptr<Mailbox> mailbox_;
  std::shared_ptr<Teardowns> teardowns_;
  std::unique_ptr<DeviceRunner> runner_;
  int pending_ = 0;  // user operations whose done has not returned
  int cursors_ = 0;  // busy cursors shown for queued or running user operations
  bool linkOpen_ = false;
  DeviceInfo device_;
};

}  // namespace vxk

Q_DECLARE_METATYPE(vxk::OpResult)
