#pragma once

#include "cli/CliContext.h"

namespace vxk {

// The byte of Ctrl+], which leaves the shell.
constexpr char kShellLeaveKey = '\x1D';

// An interactive terminal on the device: standard input in raw mode, keys sent one by one
// under the terminal lock as the window sends them, the device's output shown through
// ShellScreen. Ctrl+] or the end of input leaves; the terminal settings come back on every
// way out.
int RunShell(CliContext& c, int inputFd, int outputFd);

}  // namespace vxk
