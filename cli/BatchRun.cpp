#include "cli/BatchRun.h"

#include <sstream>

#include "cli/DiagCommand.h"
#include "cli/JsonObject.h"

namespace vxk {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t end = text.find_last_not_of("\r\n ");
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

void CheckBatchSecrets(const std::vector<BatchLine>& lines, const char* environmentPassword) {
  for (const BatchLine& line : lines) {
    CliOptions o = LineOptions(line, SamplePlaceholders());
    try {
      PrepareDiag(o, environmentPassword);
    } catch (const UsageError& e) {
      throw UsageError("line " + std::to_string(line.number) + ": " + e.what());
    }
  }
}

std::string StepJson(const StepReport& step) {
  JsonObject json;
  json.Number("line", step.line.number).Local("command", step.line.text).Number("exit", step.exit);
  if (step.resultJson.empty()) {
    json.Null("result");
  } else {
    json.Raw("result", step.resultJson);
  }
  return json.Text();
}

BatchOutcome RunBatchLines(CommandRunner& runner, const std::vector<BatchLine>& lines,
                           const Placeholders& values, const CliOptions& batch, const CommandIo& io,
                           const char* environmentPassword, const std::atomic<bool>& cancel,
                           const std::function<void(const StepReport&)>& step) {
  BatchOutcome outcome;
  for (const BatchLine& line : lines) {
    CommandRunner::Outcome ran;
    std::ostringstream captured;
    if (cancel) {
      ran.exit = kExitInterrupted;
      ran.failure = {code::kInterrupted, "", "interrupted"};
      if (batch.json) captured << FailureJson(ran.failure);
    } else {
      CliOptions o;
      try {
        o = LineOptions(line, values);
        PrepareDiag(o, environmentPassword);
      } catch (const UsageError& e) {
        // Checked before the device came; only a password file changed since can get here.
        ran.exit = kExitUsage;
        ran.failure = {code::kUsage, "", e.what()};
        io.err << "vxkctl: line " << line.number << ": " << e.what() << "\n";
        if (batch.json) captured << FailureJson(ran.failure);
      }
      if (ran.exit == kExitOk) {
        o.json = o.json || batch.json;
        o.quiet = o.quiet || batch.quiet;
        o.verbose = o.verbose || batch.verbose;
        o.lockWaitMs = batch.lockWaitMs;
        const CommandIo lineIo{batch.json ? captured : io.out, io.err,     io.stderrIsTty,
                               io.stdoutIsTty && !batch.json,  io.inputFd, io.outputFd};
        ran = runner.Run(o, lineIo);
      }
    }
    ++outcome.steps;
    if (step) step({line, ran.exit, batch.json ? Trimmed(captured.str()) : std::string()});
    if (ran.exit == kExitOk) continue;
    if (outcome.exit == kExitOk) {
      outcome.exit = ran.exit;
      outcome.failure = ran.failure;
    }
    const bool fatal = ran.exit == kExitLink || ran.exit == kExitInterrupted;
    if (!batch.keepGoing || fatal) break;
  }
  return outcome;
}

}  // namespace vxk
