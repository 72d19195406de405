#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vxk {

// A program started for a test or benchmark, with its standard output and error captured.
// It is killed and reaped when the object goes.
class ChildProcess {
 public:
  // argv[0] is the program path; env holds NAME=value entries added to (or replacing those
  // of) this process's environment. Returns false when it cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  ~ChildProcess();
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // Waits for the end up to timeoutMs; the exit status, or -1 when it is still running,
  // 128 + signal when a signal ended it.
  int Wait(int timeoutMs);
  void Signal(int sig);
  // Everything the program printed so far (standard output and error together).
  std::string Output();
  // Waits until the output contains text; false after timeoutMs.
  bool WaitForOutput(const std::string& text, int timeoutMs);
  // Writes to its standard input; closing it sends the end of input.
  bool WriteInput(const std::string& text);
  void CloseInput();

 private:
  void Drain(int timeoutMs);

  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
  int status_ = -1;
  std::string output_;
};

// The folder of the built programs: VXK_BIN_DIR when set, else the build folder.
std::string BinDir();

}  // namespace vxk
