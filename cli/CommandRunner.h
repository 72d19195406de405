#pragma once

#include <atomic>
#include <ostream>

#include "cli/CliContext.h"
#include "comms/TerminalLock.h"
#include "session/Session.h"

namespace vxk {

// Where a command's output goes and what it may read.
struct CommandIo {
  std::ostream& out;
  std::ostream& err;
  bool stderrIsTty = false;
  bool stdoutIsTty = false;
  int inputFd = -1;   // standard input (put -, the shell's keys); -1: none
  int outputFd = -1;  // the shell's screen
};

// Runs vxkctl commands, one after the other, on one open session: each as one unit under the
// terminal lock. The first command makes sure a device answers at all (ESC brings its prompt);
// a command after one that failed brings the prompt back first. Local errors (files, PNG, a
// malformed number in a reply) become failures with their reason; nothing escapes as an
// exception.
class CommandRunner {
 public:
  struct Outcome {
    int exit = kExitOk;
    CliFailure failure;  // when exit is not 0
  };

  CommandRunner(Session& session, TerminalLock& lock, const std::atomic<bool>& cancel);

  Outcome Run(const CliOptions& options, const CommandIo& io);

 private:
  // ESC, and the prompt it brings; false when nothing at all came back.
  bool Answers();
  int Dispatch(CliContext& c, const CommandIo& io);

  Session& session_;
  TerminalLock& lock_;
  const std::atomic<bool>& cancel_;
  bool answered_ = false;
  bool lastFailed_ = false;
};

}  // namespace vxk
