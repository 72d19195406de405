#include "ui/LinkMonitor.h"

#include "comms/TerminalLock.h"
#include "session/Connector.h"
#include "ui/DeviceText.h"

namespace vxk {

// What lives on the worker between the operations: the connector, and the context of the
// operation running now, which its status lines go to.
struct LinkMonitor::Worker {
  std::unique_ptr<Connector> connector;
  const OpContext* context = nullptr;
};

namespace {

// The running operation's context receives the connector's status lines for one run.
class Current {
 public:
  Current(LinkMonitor::Worker* worker, const OpContext& context) : worker_(worker) {
    worker_->context = &context;
  }
  ~Current() { worker_->context = nullptr; }
  Current(const Current&) = delete;
  Current& operator=(const Current&) = delete;

 private:
  LinkMonitor::Worker* worker_;
};

struct Started {
  OpResult result;
  bool usable = false;
};

}  // namespace

LinkMonitor::LinkMonitor(UiRunner& runner, TerminalLock& lock, StatusSink status, QObject* parent)
    : QObject(parent),
      runner_(runner),
      lock_(lock),
      status_(std::move(status)),
      worker_(std::make_shared<Worker>()) {
  // The connector refers to the session: it goes on the worker, before the session does.
  runner_.OnTeardown([worker = worker_](Session&) { worker->connector.reset(); });
}

UiRunner::Op LinkMonitor::Quiet(const QString& what) {
  UiRunner::Op op;
  op.what = what;
  op.quiet = true;
  op.step = [this](const std::string& line) { status_(FromDevice(line)); };
  return op;
}

void LinkMonitor::Start(std::function<void(bool usable, bool started)> done) {
  runner_.Call<Started>(
      this, Quiet(QStringLiteral("Start")),
      [worker = worker_, lock = &lock_](Session& s, const OpContext& context) {
        Current current(worker.get(), context);
        Worker* w = worker.get();
        worker->connector = std::make_unique<Connector>(s, [w](const std::string& line) {
          if (w->context) w->context->Step(line);
        });
        Started out;
        out.result = worker->connector->Start();
        // A port that cannot be listened on leaves the window waiting; only a lock that cannot
        // be used keeps every device away.
        out.usable = out.result.ok() || lock->Problem().empty();
        return out;
      },
      [done = std::move(done)](const OpResult&, Started& started) {
        done(started.usable, started.result.ok());
      });
}

bool LinkMonitor::Poll(const PollRequest& request, std::function<void(PollResult&)> done) {
  if (polling_) return false;
  polling_ = true;
  runner_.Call<PollResult>(
      this, Quiet(QStringLiteral("Poll")),
      [worker = worker_, request](Session& s, const OpContext& context) {
        Current current(worker.get(), context);
        if (!worker->connector) return PollResult{OpResult::Fail(Reason::NotOpen)};
        return PollLink(s, *worker->connector, request);
      },
      [this, done = std::move(done)](const OpResult&, PollResult& result) {
        polling_ = false;
        done(result);
      });
  return true;
}

bool LinkMonitor::Watch(std::function<void(WatchResult&)> done) {
  if (watching_) return false;
  watching_ = true;
  runner_.Call<WatchResult>(
      this, Quiet(QStringLiteral("Watch")),
      [worker = worker_](Session& s, const OpContext& context) {
        Current current(worker.get(), context);
        if (!worker->connector) return WatchResult{OpResult::Fail(Reason::NotOpen)};
        return WatchLink(s, *worker->connector);
      },
      [this, done = std::move(done)](const OpResult&, WatchResult& result) {
        watching_ = false;
        done(result);
      });
  return true;
}

void LinkMonitor::ListenAgain(std::function<void(bool listening)> done) {
  UiRunner::Op op = Quiet(QStringLiteral("Listen again"));
  op.run = [worker = worker_](Session&, const OpContext& context) {
    Current current(worker.get(), context);
    return worker->connector ? worker->connector->ListenAgain() : OpResult::Fail(Reason::NotOpen);
  };
  if (done) op.done = [done = std::move(done)](const OpResult& result) { done(result.ok()); };
  runner_.Post(this, std::move(op));
}

}  // namespace vxk
