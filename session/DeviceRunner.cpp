#include "session/DeviceRunner.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vxk {

struct DeviceRunner::State {
  State(std::unique_ptr<Session> s, Logger& l) : session(std::move(s)), log(l) {}

  std::unique_ptr<Session> session;
  Logger& log;
  std::mutex mutex;
  std::condition_variable wake;   // an operation was posted, or the runner stops
  std::condition_variable ended;  // the worker has ended
  std::deque<Operation> queue;
  int busy = 0;  // operations that are not quiet, queued or running
  bool stopping = false;
  bool finished = false;
  bool runningQuiet = false;
  bool runningUser = false;  // an operation that is not quiet is running
  bool cancelNext = false;   // Cancel came while none was: the next one is stopped
  std::atomic<bool> cancel{false};
  std::function<void(Session&)> teardown;
};

DeviceRunner::DeviceRunner(std::unique_ptr<Session> session, Logger& log)
    : settings_(session->Settings()),
      network_(session->IsNetworkLink()),
      expectsHeader_(session->ExpectsHeader()),
      captionSuffix_(session->CaptionSuffix()),
      state_(std::make_shared<State>(std::move(session), log)) {
  worker_ = std::thread(&DeviceRunner::Loop, state_);
}

DeviceRunner::~DeviceRunner() {
  Stop(kStopWaitMs);
}

bool DeviceRunner::Post(Operation operation) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->stopping) return false;
  if (!operation.quiet) ++state_->busy;
  state_->queue.push_back(std::move(operation));
  state_->wake.notify_one();
  return true;
}

void DeviceRunner::Cancel() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  if (state_->runningUser) {
    state_->cancel = true;
  } else if (state_->busy > 0) {
    state_->cancelNext = true;
  }
}

void DeviceRunner::SetTeardown(std::function<void(Session&)> teardown) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->teardown = std::move(teardown);
}

bool DeviceRunner::Busy() const {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->busy > 0;
}

bool DeviceRunner::Stop(int waitMs) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (!worker_.joinable()) return state_->finished;  // stopped before
  if (!state_->stopping) {
    state_->stopping = true;
    state_->queue.clear();
    state_->cancel = true;
    state_->wake.notify_one();
  }
  const bool ended = state_->ended.wait_for(lock, std::chrono::milliseconds(waitMs),
                                            [this] { return state_->finished; });
  lock.unlock();
  if (worker_.joinable()) {
    if (ended) {
      worker_.join();
    } else {
      state_->log.Warning("runner", "an operation did not end in time; it is left to finish");
      worker_.detach();
    }
  }
  return ended;
}

void DeviceRunner::Loop(std::shared_ptr<State> state) {
  for (;;) {
    Operation op;
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
      if (state->stopping) break;
      op = std::move(state->queue.front());
      state->queue.pop_front();
      state->runningQuiet = op.quiet;
      state->runningUser = !op.quiet;
      if (!op.quiet) {
        state->cancel = state->cancelNext;
        state->cancelNext = false;
      }
    }
    OpContext context;
    context.progress = op.progress;
    context.step = op.step;
    context.count = op.count;
    context.cancel = &state->cancel;
    const Logger::Level level = op.quiet ? Logger::Level::Debug : Logger::Level::Info;
    state->log.Write(level, "device", op.what + ": started");
    OpResult result;
    try {
      // Stopped while it waited in the queue: it never starts.
      result = !op.quiet && context.Cancelled() ? OpResult::Fail(Reason::Cancelled)
                                                : op.run(*state->session, context);
    } catch (const std::exception& e) {
      result = OpResult::Fail(Reason::LocalError, e.what());
    }
    if (result.ok()) {
      state->log.Write(level, "device", op.what + ": done");
    } else {
      state->log.Write(result.reason == Reason::Cancelled ? level : Logger::Level::Warning,
                       "device", op.what + ": " + DescribeResult(result));
    }
    {
      // Idle before the result is handed on: whoever gets it may post the next operation.
      std::lock_guard<std::mutex> guard(state->mutex);
      state->runningQuiet = false;
      state->runningUser = false;
      if (!op.quiet) --state->busy;
    }
    if (op.done) op.done(result);
  }
  std::function<void(Session&)> teardown;
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    teardown = std::move(state->teardown);
  }
  if (teardown) teardown(*state->session);
  state->session.reset();  // the link closes here, on the thread that used it
  std::lock_guard<std::mutex> guard(state->mutex);
  state->finished = true;
  state->ended.notify_all();
}

}  // namespace vxk
