#pragma once

#include <atomic>
#include <ostream>
#include <string>

#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"
#include "comms/OpContext.h"
#include "session/Session.h"

namespace vxk {

class CliProgress;

// Why the last command failed, as its JSON error says it: the reason code, the device's
// status text (empty when it gave none) and the message.
struct CliFailure {
  std::string reason;
  std::string status;
  std::string message;
};

// What a command works with: the open session, the options, the two output streams and the
// flag a signal sets.
struct CliContext {
  Session& session;
  const CliOptions& options;
  std::ostream& out;
  std::ostream& err;
  const std::atomic<bool>& cancel;
  bool progressOnTty = false;  // standard error is a terminal and -q was not given
  bool outputOnTty = false;    // standard output is a terminal
  int inputFd = -1;            // standard input, for "put -"; -1: none
  mutable CliFailure failure;  // set by the Fail calls

  // "vxkctl: " + text on standard error (as TerminalText) and, with --json, the error object
  // {"error", "reason", "status"} on standard output. Each returns the exit status.
  int Fail(const std::string& text) const;                       // reason "failed", 1
  int Fail(const std::string& text, const OpResult& why) const;  // the operation's reason
  int FailWith(const std::string& text, const std::string& reasonCode,
               const std::string& deviceStatus = {}) const;
  int Usage(const std::string& text) const;  // 2
  int Interrupted() const;                   // 130
  // An operation's context: its progress to the bar (when there is one), stopped by a signal.
  OpContext Context(CliProgress* progress = nullptr) const;
  // A note on standard error unless -q, as TerminalText.
  void Note(const std::string& text) const;
};

// The JSON error object of a failure, on one line.
std::string FailureJson(const CliFailure& failure);

// The device commands; each returns an exit status.
int RunInfo(CliContext& c);
int RunLs(CliContext& c);
int RunGet(CliContext& c);
int RunPut(CliContext& c);
int RunRm(CliContext& c);
int RunMkdir(CliContext& c);
int RunMv(CliContext& c);
int RunCat(CliContext& c);
int RunExec(CliContext& c);
int RunTime(CliContext& c);
int RunLcd(CliContext& c);
int RunFirmware(CliContext& c);

}  // namespace vxk
