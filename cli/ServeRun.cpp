#include "cli/ServeRun.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "cli/BatchRun.h"
#include "cli/CliText.h"
#include "cli/CommandRunner.h"
#include "cli/IdentityFields.h"
#include "cli/OwnedFd.h"
#include "cli/ProxyLine.h"
#include "cli/RunRecord.h"
#include "comms/Ticks.h"
#include "comms/uKeepAlive.h"
#include "ops/TimeSync.h"
#include "security/HeaderCheck.h"
#include "session/Connector.h"

namespace vxk {
namespace {

// An accepted device's waits, unless given: the window's after it accepted one.
constexpr int kRoundTripMs = 8000;
constexpr int kExtraMs = 500;
// TCP keep-alive of a device: idle time and probe interval, as the server daemon sets them.
constexpr int kKeepAliveIdleMs = 60000;
constexpr int kKeepAliveIntervalMs = 10000;
// The header check is stepped this long at a time, so a stop is seen.
constexpr int kHeaderStepMs = 100;

enum class FirstBytes { Came, Closed, Late };

// Waits until the peer sends something, closes, or the deadline passes (or the jobs are
// stopped); takes nothing.
FirstBytes WaitFirstBytes(int fd, int64_t deadline, const std::atomic<bool>& stop) {
  for (;;) {
    const int64_t left = deadline - TickCount();
    if (left <= 0 || stop) return FirstBytes::Late;
    pollfd pfd{fd, POLLIN, 0};
    const int rc = ::poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left, kHeaderStepMs)));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) continue;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK);
    if (n > 0) return FirstBytes::Came;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return FirstBytes::Closed;
  }
}

void Refused(RunRecord& record, const std::string& why) {
  record.outcome = "refused";
  record.exit = kExitLink;
  record.failure = {code::kAuth, "", why};
}

void Interrupted(RunRecord& record, const std::string& why) {
  record.outcome = "interrupted";
  record.exit = kExitInterrupted;
  record.failure = {code::kInterrupted, "", why};
}

void Identify(RunRecord& record, Session& session) {
  const std::vector<IdentityField> fields = IdentityOf(session);
  for (const IdentityField& f : fields) {
    if (f.name == "serial") record.serial = f.value;
    if (f.name == "product") record.product = f.value;
    if (f.name == "firmware") record.firmware = f.value;
  }
}

// The run itself; false for a connection that never said anything (no line then).
bool Run(OwnedFd& fd, ServeSetup& setup, RunRecord& record) {
  const int roundTrip = setup.roundTripTime.value_or(kRoundTripMs);
  const int64_t deadline = TickCount() + kHeaderDeadlineMs + roundTrip;
  if (setup.proxyProtocol) {
    const ProxyLine proxy = ReadProxyLine(fd.Get(), deadline);
    if (!proxy.sawBytes && proxy.state != ProxyLine::State::Read) return false;
    if (proxy.state != ProxyLine::State::Read) {
      Refused(record, "no valid PROXY line came first");
      return true;
    }
    if (!proxy.peer.empty()) record.peer = proxy.peer;
  }
  switch (WaitFirstBytes(fd.Get(), deadline, setup.stopJobs)) {
    case FirstBytes::Closed:
      return false;
    case FirstBytes::Late:
      if (setup.stopJobs) {
        Interrupted(record, "stopped while the header came");
      } else {
        Refused(record, "no connection header in time");
      }
      return true;
    case FirstBytes::Came:
      break;
  }
  SetKeepAlive(fd.Get(), kKeepAliveIdleMs, kKeepAliveIntervalMs);
  // This connection is this run's alone: its exchanges need not wait for any other's.
  TerminalLock lock("");
  SessionSettings settings;
  settings.kind = SessionSettings::LinkKind::Socket;
  settings.socketHandle = fd.Release();
  settings.secretKey = setup.key;
  settings.roundTripTime = roundTrip;
  settings.extraTime = setup.extraTime.value_or(kExtraMs);
  Session session(settings, setup.hid, lock);
  Connector connector(session, [](const std::string&) {});
  const OpResult started = connector.Start();
  if (!started) {
    record.failure = {ReasonCode(started.reason), "", DescribeResult(started)};
    return true;
  }
  Connector::Event event = Connector::Event::None;
  while (event == Connector::Event::None) {
    if (setup.stopJobs) {
      Interrupted(record, "stopped while the header came");
      return true;
    }
    // One deadline for all of it, the PROXY line and the wait for the first byte included.
    if (TickCount() >= deadline) {
      Identify(record, session);
      Refused(record, "the connection header did not come in time");
      return true;
    }
    event = connector.Open(kHeaderStepMs);
  }
  Identify(record, session);
  if (event != Connector::Event::Opened) {
    Refused(record,
            "the connection header was refused (malformed, late, or without proof of "
            "the key)");
    return true;
  }
  record.authenticated = true;
  CommandRunner runner(session, lock, setup.stopJobs);
  std::ostringstream out, err;  // each step's JSON is collected; its notes are not needed
  const CommandIo io{out, err};
  Placeholders values = DevicePlaceholders(session);
  values["run"] = record.run;
  const BatchOutcome outcome =
      RunBatchLines(runner, setup.job, values, setup.jobOptions, io, setup.environmentPassword,
                    setup.stopJobs, [&](const StepReport& step) {
                      record.steps.push_back(StepJson(step));
                      err.str("");
                    });
  record.exit = outcome.exit;
  record.failure = outcome.failure;
  record.outcome = outcome.exit == kExitOk            ? "done"
                   : outcome.exit == kExitInterrupted ? "interrupted"
                                                      : "failed";
  return true;
}

}  // namespace

void ServeSetup::Log(const std::string& line) {
  if (quiet) return;
  std::lock_guard<std::mutex> guard(logMutex);
  log << line << "\n" << std::flush;
}

void ServeDevice(int fd, const std::string& peer, ServeSetup& setup) {
  OwnedFd owned(fd);
  RunRecord record;
  record.run = NewRunId();
  record.peer = peer;
  record.startMs = SystemUtcMs();
  try {
    if (!Run(owned, setup, record)) {
      ++setup.counts.silent;
      return;
    }
  } catch (const std::exception& e) {
    // Never a run without its line: what went wrong is the line's message.
    record.outcome = "failed";
    record.exit = kExitFailed;
    record.failure = {code::kFailed, "", e.what()};
  }
  record.endMs = SystemUtcMs();
  std::string error;
  if (!setup.results.Append(record.Json(), error)) {
    ++setup.counts.unwritten;
    setup.Log("vxkctl: the results file did not take a line: " + error);
  }
  const std::string& outcome = record.outcome;
  ++(outcome == "done"          ? setup.counts.done
     : outcome == "refused"     ? setup.counts.refused
     : outcome == "interrupted" ? setup.counts.interrupted
                                : setup.counts.failed);
  std::string line =
      ShownText(record.serial.value_or("?")) + " " + TerminalText(record.peer) + " " + outcome;
  if (record.exit != kExitOk) line += ": " + TerminalText(record.failure.message);
  setup.Log(line + " (" + std::to_string(record.endMs - record.startMs) + " ms)");
}

}  // namespace vxk
