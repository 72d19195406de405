// The worker that owns the session: order, cancel, stopping in bounded time, local faults as
// results, and the table of waits.
#include "session/DeviceRunner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "comms/Ticks.h"
#include "sim/FakeHidBackend.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"

using namespace vxk;

namespace {

struct Rig {
  Rig() : backend(&sim.Device()) { log.SetStderr(false); }
  std::unique_ptr<Session> MakeSession() {
    return std::make_unique<Session>(SessionSettings{}, backend, lock.Lock());
  }
  SimDevice sim;
  FakeHidBackend backend;
  ScratchLock lock;
  Logger log;
};

// Collects results posted from the worker and lets the test wait for them.
struct Results {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::pair<std::string, OpResult>> got;

  std::function<void(const OpResult&)> For(const std::string& name) {
    return [this, name](const OpResult& r) {
      std::lock_guard<std::mutex> guard(mutex);
      got.emplace_back(name, r);
      arrived.notify_all();
    };
  }
  bool WaitFor(size_t n, int ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return arrived.wait_for(lock, std::chrono::milliseconds(ms), [&] { return got.size() >= n; });
  }
};

TEST(DeviceRunner, RunsInOrderOnOneThreadAndTurnsLocalFaultsIntoResults) {
  Rig rig;
  Results results;
  DeviceRunner runner(rig.MakeSession(), rig.log);
  std::vector<std::thread::id> threads;
  const auto record = [&](const std::string& name, OpResult result) {
    DeviceRunner::Operation op;
    op.what = name;
    op.run = [&threads, result](Session&, const OpContext&) {
      threads.push_back(std::this_thread::get_id());
      return result;
    };
    op.done = results.For(name);
    return op;
  };
  runner.Post(record("a", OpResult::Done()));
  runner.Post(record("b", OpResult::Fail(Reason::Refused, "2:No such file")));
  DeviceRunner::Operation throwing;
  throwing.what = "c";
  throwing.run = [](Session&, const OpContext&) -> OpResult {
    throw std::runtime_error("Cannot create file /x: Permission denied");
  };
  throwing.done = results.For("c");
  runner.Post(std::move(throwing));
  ASSERT_TRUE(results.WaitFor(3, 5000));
  ASSERT_EQ(results.got.size(), 3u);
  EXPECT_EQ(results.got[0].first, "a");
  EXPECT_EQ(results.got[1].second.detail, "2:No such file");
  EXPECT_EQ(results.got[2].second.reason, Reason::LocalError);
  EXPECT_EQ(results.got[2].second.detail, "Cannot create file /x: Permission denied");
  ASSERT_EQ(threads.size(), 2u);
  EXPECT_EQ(threads[0], threads[1]);
  EXPECT_NE(threads[0], std::this_thread::get_id());
  EXPECT_FALSE(runner.Busy());
}

// Cancel reaches the running operation through its context, not a quiet poll; Stop ends a
// runner whose operation is waiting for the device within its bound, and later posts are
// refused.
TEST(DeviceRunner, CancelReachesTheOperationAndStopIsBounded) {
  Rig rig;
  Results results;
  DeviceRunner runner(rig.MakeSession(), rig.log);
  std::atomic<bool> started{false};
  DeviceRunner::Operation waits;
  waits.what = "waits";
  waits.run = [&](Session&, const OpContext& context) {
    started = true;
    const int64_t end = TickCount() + 5000;
    while (!context.Cancelled() && TickCount() < end) SleepMs(5);
    return context.Cancelled() ? OpResult::Fail(Reason::Cancelled) : OpResult::Done();
  };
  waits.done = results.For("waits");
  runner.Post(waits);
  while (!started) SleepMs(1);
  EXPECT_TRUE(runner.Busy());
  runner.Cancel();
  ASSERT_TRUE(results.WaitFor(1, 2000));
  EXPECT_EQ(results.got[0].second.reason, Reason::Cancelled);

  started = false;
  runner.Post(waits);
  while (!started) SleepMs(1);
  const int64_t before = TickCount();
  EXPECT_TRUE(runner.Stop(DeviceRunner::kStopWaitMs));
  EXPECT_LT(TickCount() - before, DeviceRunner::kStopWaitMs);
  EXPECT_FALSE(runner.Post(waits));
}

// An operation that ignores its cancel flag cannot hold Stop beyond its wait.
TEST(DeviceRunner, StopGivesUpOnAnOperationThatWillNotEnd) {
  Rig rig;
  auto runner = std::make_unique<DeviceRunner>(rig.MakeSession(), rig.log);
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  DeviceRunner::Operation stuck;
  stuck.run = [&](Session&, const OpContext&) {
    started = true;
    while (!release) SleepMs(5);
    return OpResult::Done();
  };
  runner->Post(stuck);
  while (!started) SleepMs(1);
  const int64_t before = TickCount();
  EXPECT_FALSE(runner->Stop(200));
  EXPECT_LT(TickCount() - before, 1000);
  runner.reset();
  release = true;  // the worker finishes on its own and takes the session with it
  SleepMs(50);
}

// What operations keep between them goes on the worker, after the last operation and before
// the session; a cancel that comes while only a poll runs stops the user's next operation.
TEST(DeviceRunner, TeardownOnTheWorkerAndCancelBeforeTheStart) {
  Rig rig;
  Results results;
  auto runner = std::make_unique<DeviceRunner>(rig.MakeSession(), rig.log);
  std::thread::id workerThread, teardownThread;
  bool sessionThere = false;
  runner->SetTeardown([&](Session& s) {
    teardownThread = std::this_thread::get_id();
    sessionThere = s.Settings().kind == SessionSettings::LinkKind::Usb;
  });
  std::atomic<bool> release{false};
  DeviceRunner::Operation poll;
  poll.quiet = true;
  poll.run = [&](Session&, const OpContext&) {
    workerThread = std::this_thread::get_id();
    while (!release) SleepMs(2);
    return OpResult::Done();
  };
  bool ran = false;
  DeviceRunner::Operation user;
  user.run = [&](Session&, const OpContext&) {
    ran = true;
    return OpResult::Done();
  };
  user.done = results.For("user");
  runner->Post(poll);
  runner->Post(user);
  runner->Cancel();
  release = true;
  ASSERT_TRUE(results.WaitFor(1, 2000));
  EXPECT_FALSE(ran);
  EXPECT_EQ(results.got[0].second.reason, Reason::Cancelled);
  EXPECT_TRUE(runner->Stop(DeviceRunner::kStopWaitMs));
  EXPECT_EQ(teardownThread, workerThread);
  EXPECT_TRUE(sessionThere);
}

TEST(Timeouts, ScaledShrinksEveryWaitAndKeepsTheCounts) {
  const Timeouts normal;
  const Timeouts fast = normal.Scaled(0.5);
  static_assert(sizeof(Timeouts) % sizeof(int) == 0, "a table of ints");
  const size_t n = sizeof(Timeouts) / sizeof(int);
  int a[sizeof(Timeouts) / sizeof(int)];
  int b[sizeof(Timeouts) / sizeof(int)];
  std::memcpy(a, &normal, sizeof a);
  std::memcpy(b, &fast, sizeof b);
  int counts = 0;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) {
      ++counts;  // only the counts may stay as they were
    } else {
      EXPECT_EQ(b[i], std::max(1, (a[i] + 1) / 2)) << "field " << i;
    }
  }
  EXPECT_EQ(counts, 2);  // bootAttempts, stageLimitFactor
  EXPECT_EQ(fast.bootAttempts, normal.bootAttempts);
  EXPECT_EQ(normal.Scaled(0.0001).finishMs, 1);
  // A floor keeps short waits, and long ones from going below it.
  const Timeouts floored = normal.Scaled(0.1, 400);
  EXPECT_EQ(floored.discardByteMs, normal.discardByteMs);
  EXPECT_EQ(floored.readHeaderMs, 800);
  EXPECT_EQ(floored.readEndMs, 400);
}

}  // namespace
