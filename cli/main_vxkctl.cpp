// vxkctl: the device from scripts, on the same core as the window.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/ArgScrub.h"
#include "cli/Vxkctl.h"
#include "comms/HidapiBackend.h"

namespace {

std::atomic<bool> g_cancel{false};
std::atomic<int> g_signals{0};
std::atomic<bool> g_holdSecond{false};

// The first Ctrl+C asks the running operation to stop cleanly; a second one ends the program
// at once, but for serve, which stops its running jobs then and still writes their results.
void OnSignal(int sig) {
  g_cancel = true;
  if (g_signals.fetch_add(1) >= 1 && !g_holdSecond) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // Others on the machine must not read the key or the archive password in /proc/PID/cmdline.
  vxk::ScrubOptionValue(argc, argv, "key", true);
  vxk::ScrubOptionValue(argc, argv, "password", true);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);

  vxk::HidapiBackend hid;
  hid.Init();
  vxk::VxkctlEnvironment env{hid,          vxk::TerminalLock::Machine(),
                             std::cout,    std::cerr,
                             g_cancel,     nullptr,
                             false,        STDIN_FILENO,
                             STDOUT_FILENO};
  env.environmentKey = std::getenv("VXK_KEY");
  env.environmentPassword = std::getenv("VXK_ZIP_PASSWORD");
  env.stderrIsTty = ::isatty(STDERR_FILENO) == 1;
  env.stdoutIsTty = ::isatty(STDOUT_FILENO) == 1;
  env.signalCount = &g_signals;
  env.holdSecondSignal = &g_holdSecond;
  const int status = vxk::RunVxkctl(args, env);
  std::cout.flush();
  return std::cout.good() || status != 0 ? status : 1;
}
