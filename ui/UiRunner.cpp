#include "ui/UiRunner.h"

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <mutex>

#include "ui/DeviceText.h"

namespace vxk {

// Where the worker delivers: the runner while it lives, nothing afterwards. The lock is held
// while a call is posted, so the runner cannot go in between.
struct UiRunner::Mailbox {
  std::mutex mutex;
  QObject* target = nullptr;

  template <class Fn>
  void Send(Fn fn) {
    std::lock_guard<std::mutex> guard(mutex);
    if (target) QMetaObject::invokeMethod(target, std::move(fn), Qt::QueuedConnection);
  }
};

struct UiRunner::Teardowns {
  std::mutex mutex;
  std::vector<std::function<void(Session&)>> list;
};

namespace {

// The latest progress of one operation, handed to the window thread one call at a time: a
// fast transfer never floods the event queue.
struct ProgressSlot {
  std::mutex mutex;
  int64_t done = 0;
  int64_t total = 0;
  bool queued = false;
};

}  // namespace

Logger& UiRunner::Log() {
  static Logger log;
  return log;
}

UiRunner::UiRunner(const SessionSettings& settings, HidBackend& hid, TerminalLock& lock,
                   QObject* parent)
    : QObject(parent),
      mailbox_(std::make_shared<Mailbox>()),
      teardowns_(std::make_shared<Teardowns>()),
      runner_(
          std::make_unique<DeviceRunner>(std::make_unique<Session>(settings, hid, lock), Log())) {
  qRegisterMetaType<vxk::OpResult>();
  mailbox_->target = this;
  runner_->SetTeardown([teardowns = teardowns_](Session& session) {
    std::lock_guard<std::mutex> guard(teardowns->mutex);
    for (auto& teardown : teardowns->list) teardown(session);
    teardowns->list.clear();
  });
}

UiRunner::~UiRunner() {
  Stop();
}

void UiRunner::OnTeardown(std::function<void(Session&)> teardown) {
  std::lock_guard<std::mutex> guard(teardowns_->mutex);
  teardowns_->list.push_back(std::move(teardown));
}

bool UiRunner::Post(QObject* receiver, Op op) {
  const bool quiet = op.quiet;
  const QString what = op.what;
  QPointer<QObject> alive(receiver);
  std::shared_ptr<Mailbox> mailbox = mailbox_;

  DeviceRunner::Operation work;
  work.what = what.toStdString();
  work.quiet = quiet;
  work.run = std::move(op.run);
  if (op.progress || !quiet) {
    auto slot = std::make_shared<ProgressSlot>();
    auto deliver = [this, slot, alive, fn = std::move(op.progress), quiet] {
      int64_t done = 0;
      int64_t total = 0;
      {
        std::lock_guard<std::mutex> guard(slot->mutex);
        done = slot->done;
        total = slot->total;
        slot->queued = false;
      }
      if (!quiet) emit Progress(done, total);
      if (fn && alive) fn(done, total);
    };
    work.progress = [mailbox, slot, deliver](int64_t done, int64_t total) {
      std::lock_guard<std::mutex> guard(slot->mutex);
      slot->done = done;
      slot->total = total;
      if (slot->queued) return;
      slot->queued = true;
      mailbox->Send(deliver);
    };
  }
  if (op.step || !quiet) {
    const bool toStatus = !quiet && op.stepsInStatus;
    work.step = [this, mailbox, alive, fn = std::move(op.step), toStatus](const std::string& s) {
      mailbox->Send([this, alive, fn, toStatus, s] {
        if (toStatus) emit Step(FromDevice(s));
        if (fn && alive) fn(s);
      });
    };
  }
  if (op.count || !quiet) {
    work.count = [this, mailbox, alive, fn = std::move(op.count), quiet](int64_t n) {
      mailbox->Send([this, alive, fn, quiet, n] {
        if (!quiet) emit Count(n);
        if (fn && alive) fn(n);
      });
    };
  }
  work.done = [this, mailbox, alive, fn = std::move(op.done), what, quiet](const OpResult& r) {
    mailbox->Send([this, alive, fn, what, quiet, r] {
      Finish(what, quiet, r, [&] {
        if (fn && alive) fn(r);
      });
    });
  };

  if (!quiet) {
    if (pending_++ == 0) emit BusyChanged(true);
    ++cursors_;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    emit Started(what);
  }
  if (runner_->Post(std::move(work))) return true;
  if (!quiet) Finish(what, quiet, OpResult::Fail(Reason::NotOpen, "stopped"), [] {});
  return false;
}

void UiRunner::Finish(const QString& what, bool quiet, const OpResult& result,
                      const std::function<void()>& deliver) {
  if (quiet) {
    deliver();
    return;
  }
  if (cursors_ > 0) {
    --cursors_;
    QApplication::restoreOverrideCursor();
  }
  emit Finished(what, result);
  // Busy until the done has returned: what it posts next keeps the windows busy without a gap.
  struct Ended {
    UiRunner* runner;
    ~Ended() {
      if (runner->pending_ > 0 && --runner->pending_ == 0) emit runner->BusyChanged(false);
    }
  } ended{this};
  deliver();
}

void UiRunner::Cancel() {
  runner_->Cancel();
}

bool UiRunner::Stop(int waitMs) {
  {
    std::lock_guard<std::mutex> guard(mailbox_->mutex);
    mailbox_->target = nullptr;
  }
  const bool ended = runner_->Stop(waitMs);
  for (; cursors_ > 0; --cursors_) QApplication::restoreOverrideCursor();
  if (pending_ > 0) {
    pending_ = 0;
    emit BusyChanged(false);
  }
  return ended;
}

void UiRunner::SetLinkOpen(bool open) {
  if (open == linkOpen_) return;
  linkOpen_ = open;
  emit LinkChanged(open);
}

}  // namespace vxk
