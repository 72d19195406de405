#include "cli/Vxkctl.h"

#include <map>

#include "FileAccess/ConversionError.h"
#include "cli/CliConnect.h"
#include "cli/CliContext.h"
#include "cli/CliText.h"
#include "cli/Shell.h"
#include "comms/LinkLock.h"
#include "ops/LocalFiles.h"
#include "ops/PngWriter.h"

#ifndef VXK_VERSION
#define VXK_VERSION "0"
#endif

namespace vxk {
namespace {

// After the lock is taken: ESC brings up a fresh prompt, which is read away.
constexpr int kPromptSlackMs = 250;

int Dispatch(CliContext& c, VxkctlEnvironment& env) {
  static const std::map<std::string, int (*)(CliContext&)> commands = {
      {"info", RunInfo}, {"ls", RunLs},       {"get", RunGet}, {"put", RunPut},
      {"rm", RunRm},     {"mkdir", RunMkdir}, {"mv", RunMv},   {"cat", RunCat},
      {"exec", RunExec}, {"time", RunTime},   {"lcd", RunLcd}, {"firmware", RunFirmware}};
  const std::string& name = c.options.command;
  if (name == "diag") return RunDiag(c);
  return commands.at(name)(c);
}

}  // namespace

int RunVxkctl(const std::vector<std::string>& args, VxkctlEnvironment& env) {
  CliOptions options;
  std::string key;
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
    if (options.command == "diag") {
      ParseDiagFolders(options.folders);
      options.password = ResolveZipPassword(options, env.environmentPassword);
    }
    key = ResolveKey(options, env.environmentKey);
  } catch (const UsageError& e) {
    env.err << "vxkctl: " << TerminalText(e.what()) << "\n";
    return kExitUsage;
  }

  Session session(SettingsOf(options, key), env.hid, env.lock);
  auto status = [&](const std::string& line) {
    // Header lines come from the peer, authenticated or not.
    if (options.verbose) env.err << ShownText(line) << "\n";
  };
  const OpResult connected = Connect(session, options, status, env.cancel);
  if (connected.reason == Reason::Cancelled) {
    env.err << "vxkctl: interrupted\n";
    return kExitInterrupted;
  }
  if (!connected) {
    env.err << "vxkctl: "
            << TerminalText(connected.detail.empty() ? DescribeResult(connected) : connected.detail)
            << "\n";
    return kExitFailed;
  }

  CliContext c{session, options, env.out, env.err, env.cancel, env.stderrIsTty && !options.quiet};
  c.outputOnTty = env.stdoutIsTty;
  try {
    if (options.command == "shell") return RunShell(c, env.inputFd, env.outputFd);
    // One command is one unit under the terminal lock, as the window's operations are, so
    // no other program's exchange comes between its steps.
    LinkLock lock(session.Link(), options.lockWaitMs);
    if (!lock) {
      const std::string problem = env.lock.Problem();
      return c.Fail(problem.empty() ? "another program is using the device (terminal lock)"
                                    : problem);
    }
    TvxTerminal& t = session.Terminal();
    t.Send(std::string(1, TvxTerminal::kEsc));
    t.ReadToPromptEnd(t.RoundTripTime() + kPromptSlackMs);
    return Dispatch(c, env);
  } catch (const UsageError& e) {
    env.err << "vxkctl: " << TerminalText(e.what()) << "\n";
    return kExitUsage;
  } catch (const LocalFileError& e) {
    return c.Fail(e.what());
  } catch (const PngError& e) {
    return c.Fail(e.what());
  } catch (const ConversionError& e) {
    return c.Fail(std::string("bad reply from the device: ") + e.what());
  } catch (const std::exception& e) {
    return c.Fail(e.what());
  }
}

}  // namespace vxk
