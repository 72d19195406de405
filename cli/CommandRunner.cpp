#include "cli/CommandRunner.h"

#include <map>

#include "FileAccess/ConversionError.h"
#include "cli/DiagCommand.h"
#include "cli/Shell.h"
#include "comms/LinkLock.h"
#include "ops/LocalFiles.h"
#include "ops/PngWriter.h"

namespace vxk {
namespace {

// After ESC the device's prompt comes within the round-trip time and this much; a device that
// said nothing at all is given one more ESC and this long.
constexpr int kPromptSlackMs = 250;
constexpr int kSecondChanceMs = 2000;

}  // namespace

CommandRunner::CommandRunner(Session& session, TerminalLock& lock, const std::atomic<bool>& cancel)
    : session_(session), lock_(lock), cancel_(cancel) {}

bool CommandRunner::Answers() {
  TvxTerminal& t = session_.Terminal();
  const std::string esc(1, TvxTerminal::kEsc);
  t.Send(esc);
  if (!t.ReadToPromptEnd(t.RoundTripTime() + kPromptSlackMs).empty() || !t.TimedOut()) return true;
  if (!t.Link().IsOpen()) return false;
  t.Send(esc);
  return !t.ReadToPromptEnd(kSecondChanceMs).empty() || !t.TimedOut();
}

int CommandRunner::Dispatch(CliContext& c, const CommandIo& io) {
  static const std::map<std::string, int (*)(CliContext&)> commands = {
      {"info", RunInfo}, {"ls", RunLs},       {"get", RunGet}, {"put", RunPut},
      {"rm", RunRm},     {"mkdir", RunMkdir}, {"mv", RunMv},   {"cat", RunCat},
      {"exec", RunExec}, {"time", RunTime},   {"lcd", RunLcd}, {"firmware", RunFirmware},
      {"diag", RunDiag}};
  if (c.options.command == "shell") return RunShell(c, io.inputFd, io.outputFd);
  const auto command = commands.find(c.options.command);
  if (command == commands.end()) return c.Usage(c.options.command + " cannot run here");
  // One command is one unit under the terminal lock, as the window's operations are, so no
  // other program's exchange comes between its steps.
  LinkLock lock(session_.Link(), c.options.lockWaitMs);
  if (!lock) {
    const std::string problem = lock_.Problem();
    return c.FailWith(
        problem.empty() ? "another program is using the device (terminal lock)" : problem,
        problem.empty() ? "lock_timeout" : "local_error");
  }
  if (!answered_ || lastFailed_) {
    if (!Answers()) {
      return c.FailWith(session_.Link().IsOpen() ? "no device answers on the link"
                                                 : "the link to the device was lost",
                        answered_ ? "link_lost" : code::kNoDevice);
    }
    answered_ = true;
  }
  return command->second(c);
}

CommandRunner::Outcome CommandRunner::Run(const CliOptions& options, const CommandIo& io) {
  CliContext c{session_,       options,    io.out,
               io.err,         cancel_,    io.stderrIsTty && !options.quiet,
               io.stdoutIsTty, io.inputFd, {}};
  int status;
  try {
    status = Dispatch(c, io);
  } catch (const UsageError& e) {
    status = c.Usage(e.what());
  } catch (const LocalFileError& e) {
    status = c.FailWith(e.what(), "local_error");
  } catch (const PngError& e) {
    status = c.FailWith(e.what(), "local_error");
  } catch (const ConversionError& e) {
    status = c.FailWith(std::string("bad reply from the device: ") + e.what(), "bad_reply");
  } catch (const std::exception& e) {
    status = c.Fail(e.what());
  }
  lastFailed_ = status != kExitOk;
  Outcome outcome;
  outcome.exit = status;
  if (status != kExitOk) outcome.failure = c.failure;
  return outcome;
}

}  // namespace vxk
