#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vxk {

// Why a child process did not start.
enum class StartFailure { None, NoArguments, Pipe, Fork, Exec };

struct ChildStart {
  pid_t pid = 0;  // the new process, 0 when it did not start
  StartFailure failure = StartFailure::None;
  int error = 0;  // errno of the failed step
};

// Starts program with argv (argv[0] is what the child sees as its name) so that it inherits
// exactly the descriptors keepFds beyond 0 to 2, under the same numbers. Every other
// descriptor is closed in the child, which runs in a process group of its own, with the
// caller's environment, folder and an empty signal mask. An exec that fails is reported here
// (the child is then reaped), not as a process that ends at once. closeRange false takes the
// way kernels without close_range take (for tests).
ChildStart StartChildProcess(const std::string& program, const std::vector<std::string>& argv,
                             const std::vector<int>& keepFds, bool closeRange = true);

// The real path of the running program, read from /proc/self/exe; empty when unknown.
std::string OwnProgramPath();

// Reaps pid when it has ended, without waiting; true when it is gone (or was never ours).
bool ReapIfEnded(pid_t pid);

}  // namespace vxk
