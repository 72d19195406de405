#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "comms/Logger.h"
#include "comms/OpContext.h"
#include "comms/OpResult.h"
#include "session/Session.h"

namespace vxk {

// Runs device operations one at a time, in the order posted, on one worker thread that owns
// the session: every exchange with the device (and so the terminal lock) happens there, and
// the caller's thread never waits for the device. An operation's callbacks run on the worker;
// a window passes them on to its own thread (queued calls).
//
// An exception escaping an operation is a local fault (a file, a ZIP): it becomes a result
// with Reason::LocalError and its text, and is logged. Each operation's start and end are
// logged (at info; quiet ones at debug).
class DeviceRunner {
 public:
  using Work = std::function<OpResult(Session& session, const OpContext& context)>;

  struct Operation {
    std::string what;  // for the status bar and the log ("Save to PC", "Refresh Directory")
    Work run;
    std::function<void(const OpResult& result)> done;           // after run, on the worker
    std::function<void(int64_t done, int64_t total)> progress;  // on the worker
    std::function<void(const std::string& what)> step;          // on the worker
    std::function<void(int64_t items)> count;                   // on the worker
    // A poll of the link (the terminal pane, the log): not counted as busy, and cancelled by
    // neither Cancel nor the start of a user's operation.
    bool quiet = false;
  };

  // How long Stop waits for the running operation when the runner goes.
  static constexpr int kStopWaitMs = 2000;

  DeviceRunner(std::unique_ptr<Session> session, Logger& log);
  // Stop(kStopWaitMs).
  ~DeviceRunner();
  DeviceRunner(const DeviceRunner&) = delete;
  DeviceRunner& operator=(const DeviceRunner&) = delete;

  // Queues an operation; false (and nothing runs) once Stop was called.
  bool Post(Operation operation);
  // Asks the running operation to stop at its next step (a quiet one is left alone). When only
  // quiet ones run, the next operation that is not quiet is stopped before it starts; with
  // none queued nothing happens.
  void Cancel();
  // An operation that is not quiet is queued or running.
  bool Busy() const;
  // Cancels the running operation, drops the queued ones (their done is not called) and waits
  // up to waitMs for the worker to end; true when it did. Otherwise the worker ends by itself
  // once the operation returns, and the session goes with it.
  bool Stop(int waitMs);
  // Runs on the worker after the last operation, just before the session goes: whatever the
  // operations kept between them that refers to the session is let go there. Set it before
  // the first Post.
  void SetTeardown(std::function<void(Session& session)> teardown);
  // The settings the session was made with; safe from any thread.
  const SessionSettings& Settings() const { return settings_; }
  bool IsNetworkLink() const { return network_; }
  bool ExpectsHeader() const { return expectsHeader_; }
  const std::string& CaptionSuffix() const { return captionSuffix_; }

 private:
  struct State;
  static void Loop(std::shared_ptr<State> state);

  const SessionSettings settings_;
  const bool network_;
  const bool expectsHeader_;
  const std::string captionSuffix_;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace vxk
