#include "cli/ServeCommand.h"

#include <memory>

#include "cli/BatchRun.h"
#include "cli/CliConnect.h"
#include "cli/CliContext.h"
#include "cli/CliText.h"
#include "cli/JsonObject.h"
#include "cli/ServeListener.h"
#include "cli/TextFile.h"
#include "ops/LocalFiles.h"

namespace vxk {
namespace {

constexpr size_t kMaxJobBytes = size_t(1) << 20;

std::vector<BatchLine> LoadJob(const CliOptions& options, const char* environmentPassword) {
  try {
    std::vector<BatchLine> job = ParseBatch(ReadTextFile(options.job, kMaxJobBytes), false, true);
    if (job.empty()) throw UsageError("it holds no command");
    CheckBatchSecrets(job, environmentPassword);
    return job;
  } catch (const UsageError& e) {
    throw UsageError("job " + options.job + ": " + e.what());
  }
}

int StartFailure(VxkctlEnvironment& env, const CliOptions& options, const std::string& text,
                 const char* reason, int exit) {
  env.err << "vxkctl: " << TerminalText(text) << "\n";
  if (options.json) env.out << FailureJson({reason, "", text}) << "\n";
  return exit;
}

}  // namespace

int RunServe(const CliOptions& options, VxkctlEnvironment& env) {
  const std::string key = ResolveKey(options, env.environmentKey);
  std::vector<BatchLine> job = LoadJob(options, env.environmentPassword);
  std::unique_ptr<ResultsFile> results;
  try {
    results = std::make_unique<ResultsFile>(options.results);
  } catch (const LocalFileError& e) {
    return StartFailure(env, options, e.what(), "local_error", kExitFailed);
  }
  std::mutex logMutex;
  ServeCounts counts;
  CliOptions jobOptions;
  jobOptions.json = true;
  jobOptions.quiet = true;
  jobOptions.verbose = false;
  jobOptions.keepGoing = options.keepGoing;
  jobOptions.lockWaitMs = options.lockWaitMs;
  std::atomic<bool> stopJobs{false};
  ServeSetup setup{env.hid,
                   key,
                   options.roundTripTime,
                   options.extraTime,
                   std::move(job),
                   jobOptions,
                   env.environmentPassword,
                   options.proxyProtocol,
                   options.quiet,
                   *results,
                   env.err,
                   logMutex,
                   stopJobs,
                   counts};
  ServeListener server(setup, stopJobs, options.sessions);
  std::string error;
  if (!server.Listen(options.port, error)) {
    return StartFailure(env, options, error, code::kNoDevice, kExitLink);
  }
  if (env.holdSecondSignal) *env.holdSecondSignal = true;
  setup.Log("vxkctl: serving TCP port " + options.port + ", at most " +
            std::to_string(options.sessions) + " devices at once");
  server.AcceptUntil(env.cancel);
  // A second signal stops the running jobs at once.
  const bool clean = server.Drain(
      options.drainSeconds, [&env] { return env.signalCount && env.signalCount->load() >= 2; });
  const int runs = counts.done + counts.failed + counts.refused + counts.interrupted;
  setup.Log("vxkctl: " + std::to_string(runs) + " device runs: " + std::to_string(counts.done) +
            " done, " + std::to_string(counts.failed) + " failed, " +
            std::to_string(counts.refused) + " refused, " + std::to_string(counts.interrupted) +
            " interrupted");
  if (options.json) {
    env.out << JsonObject()
                   .Number("runs", runs)
                   .Number("done", counts.done)
                   .Number("failed", counts.failed)
                   .Number("refused", counts.refused)
                   .Number("interrupted", counts.interrupted)
                   .Number("unwritten", counts.unwritten)
                   .Text()
            << "\n";
  }
  if (counts.unwritten > 0) return kExitFailed;
  return clean ? kExitOk : kExitInterrupted;
}

}  // namespace vxk
