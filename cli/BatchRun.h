#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "cli/BatchScript.h"
#include "cli/CommandRunner.h"

namespace vxk {

// Checks what only the environment can tell of the lines (a diag line's password file);
// throws UsageError naming the line.
void CheckBatchSecrets(const std::vector<BatchLine>& lines, const char* environmentPassword);

// What one line of a batch did.
struct StepReport {
  const BatchLine& line;
  int exit;
  std::string resultJson;  // with --json: the command's own line (or its error); else empty
};

// {"line", "command", "exit", "result"}: one step as a JSON line.
std::string StepJson(const StepReport& step);

struct BatchOutcome {
  int exit = kExitOk;  // of the first line that failed
  CliFailure failure;  // its failure
  int steps = 0;       // lines run
};

// Runs the lines on one connection with the device's placeholder values. The options of the
// batch itself carry over: --json (each command's output is then collected and handed to
// step), -q, -v, --keep-going and --lock-wait. Stops at the first failure unless --keep-going;
// a lost link, no device and an interruption always stop it. environmentPassword is
// VXK_ZIP_PASSWORD for diag lines.
BatchOutcome RunBatchLines(CommandRunner& runner, const std::vector<BatchLine>& lines,
                           const Placeholders& values, const CliOptions& batch, const CommandIo& io,
                           const char* environmentPassword, const std::atomic<bool>& cancel,
                           const std::function<void(const StepReport&)>& step);

}  // namespace vxk
