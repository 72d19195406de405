#pragma once

#include <atomic>
#include <ostream>

#include "cli/CliOptions.h"
#include "comms/OpContext.h"
#include "session/Session.h"

namespace vxk {

class CliProgress;

// Exit statuses of vxkctl.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // the device operation (or a local file) failed
  kExitUsage = 2,   // the command line cannot be run
  kExitInterrupted = 130,
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

  // "vxkctl: " + text on standard error, as TerminalText; returns kExitFailed.
  int Fail(const std::string& text) const;
  // An operation's context: its progress to the bar (when there is one), stopped by a signal.
  OpContext Context(CliProgress* progress = nullptr) const;
  // A note on standard error unless -q, as TerminalText.
  void Note(const std::string& text) const;
};

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

// The device path of name inside folder ("/" joins once).
std::string JoinDevicePath(const std::string& folder, const std::string& name);

}  // namespace vxk
