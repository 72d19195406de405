#include "cli/Vxkctl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "cli/BatchRun.h"
#include "cli/CliConnect.h"
#include "cli/CliHelp.h"
#include "cli/CliText.h"
#include "cli/CommandRunner.h"
#include "cli/DiagCommand.h"
#include "cli/IdentityFields.h"
#include "cli/ServeCommand.h"
#include "cli/TextFile.h"

#ifndef VXK_VERSION
#define VXK_VERSION "0"
#endif

namespace vxk {
namespace {

// The longest batch file taken.
constexpr size_t kMaxBatchBytes = size_t(1) << 20;

// A command line that cannot run; with --json anywhere in it, its error object too.
int Usage(VxkctlEnvironment& env, const std::vector<std::string>& args, const std::string& text) {
  env.err << "vxkctl: " << TerminalText(text) << "\n";
  if (std::find(args.begin(), args.end(), "--json") != args.end())
    env.out << FailureJson({code::kUsage, "", text}) << "\n";
  return kExitUsage;
}

// Why the connection did not come up, and its exit status: 3 for no device, a port that
// cannot be listened on or a refused header, 1 for an unusable terminal lock, 130 for an
// interruption.
int ConnectFailure(VxkctlEnvironment& env, const CliOptions& options, const OpResult& connected,
                   const std::string& key) {
  if (connected.reason == Reason::Cancelled) {
    env.err << "vxkctl: interrupted\n";
    return kExitInterrupted;
  }
  std::string text = connected.detail.empty() ? DescribeResult(connected) : connected.detail;
  // A terminal lock that cannot be had safely is a local matter; everything else is the link's.
  const bool local = connected.reason == Reason::LocalError && !env.lock.Problem().empty();
  const char* reason = local                                 ? "local_error"
                       : connected.reason == Reason::Refused ? code::kAuth
                                                             : code::kNoDevice;
  if (connected.reason == Reason::Refused && key.empty()) {
    text += "; no key was given (--key, --key-file or VXK_KEY)";
  }
  env.err << "vxkctl: " << TerminalText(text) << "\n";
  if (options.json) env.out << FailureJson({reason, "", text}) << "\n";
  return local ? kExitFailed : kExitLink;
}

}  // namespace

int RunVxkctl(const std::vector<std::string>& args, VxkctlEnvironment& env) {
  CliOptions options;
  std::string key;
  std::vector<BatchLine> batch;
  try {
    options = ParseCliOptions(args);
    if (options.help) {
      env.out << (options.command.empty() ? ProgramHelp() : CommandHelp(options.command));
      return kExitOk;
    }
    if (options.version) {
      env.out << "vxkctl " << VXK_VERSION << "\n";
      return kExitOk;
    }
    if (options.command == "serve") return RunServe(options, env);
    PrepareDiag(options, env.environmentPassword);
    if (options.command == "batch") {
      const std::string& file = options.args[0];
      const bool fromInput = file == "-";
      const std::string text = fromInput ? ReadTextInput(env.inputFd, kMaxBatchBytes)
                                         : ReadTextFile(file, kMaxBatchBytes);
      batch = ParseBatch(text, fromInput, false);
      CheckBatchSecrets(batch, env.environmentPassword);
    }
    key = ResolveKey(options, env.environmentKey);
  } catch (const UsageError& e) {
    return Usage(env, args, e.what());
  }

  Session session(SettingsOf(options, key), env.hid, env.lock);
  auto status = [&](const std::string& line) {
    // Header lines come from the peer, authenticated or not.
    if (options.verbose) env.err << ShownText(line) << "\n";
  };
  const OpResult connected = Connect(session, options, status, env.cancel);
  if (!connected) return ConnectFailure(env, options, connected, key);

  CommandRunner runner(session, env.lock, env.cancel);
  const CommandIo io{env.out,
                     env.err,
                     env.stderrIsTty,
                     env.stdoutIsTty,
                     options.command == "batch" && options.args[0] == "-" ? -1 : env.inputFd,
                     env.outputFd};
  if (options.command != "batch") return runner.Run(options, io).exit;
  const BatchOutcome outcome =
      RunBatchLines(runner, batch, DevicePlaceholders(session), options, io,
                    env.environmentPassword, env.cancel, [&](const StepReport& step) {
                      if (options.json) env.out << StepJson(step) << "\n" << std::flush;
                    });
  return outcome.exit;
}

}  // namespace vxk
