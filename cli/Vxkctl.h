#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

#include "cli/DiagCommand.h"
#include "comms/HidBackend.h"
#include "comms/TerminalLock.h"

namespace vxk {

// Everything vxkctl takes from its process, so that tests run it as a function.
struct VxkctlEnvironment {
  HidBackend& hid;
  TerminalLock& lock;
  std::ostream& out;
  std::ostream& err;
  const std::atomic<bool>& cancel;       // set by SIGINT and SIGTERM
  const char* environmentKey = nullptr;  // VXK_KEY
  bool stderrIsTty = false;
  int inputFd = 0;                            // the shell's keys
  int outputFd = 1;                           // the shell's screen
  const char* environmentPassword = nullptr;  // VXK_ZIP_PASSWORD
  bool stdoutIsTty = false;
  // serve: how many SIGINT/SIGTERM came (the first drains, the second stops the running jobs),
  // and the flag that keeps the second one from ending the process at once. Null: none.
  const std::atomic<int>* signalCount = nullptr;
  std::atomic<bool>* holdSecondSignal = nullptr;
};

// Runs one vxkctl command line (without the program name); returns the exit status.
int RunVxkctl(const std::vector<std::string>& args, VxkctlEnvironment& env);

}  // namespace vxk
