#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/ChildProcess.h"

namespace vxk {

// vxkctl started as a child with its standard output and error kept apart, its terminal lock
// in a folder of its own.
class CtlProcess {
 public:
  ~CtlProcess();
  // input, when given, is the program's standard input (else /dev/null).
  bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
             const std::optional<std::string>& input = std::nullopt);
  // The exit status (128 + signal), or -1 when it has not ended within timeoutMs.
  int Wait(int timeoutMs);
  void Signal(int sig);
  bool WaitForError(const std::string& text, int timeoutMs);
  pid_t Pid() const { return pid_; }
  std::string out, err;

 private:
  void Drain(int timeoutMs);
  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
  int status_ = -1;
};

// One vxkctl run against a vxksim that serves the folder root over TCP (vxkctl listens).
struct CtlResult {
  int status = -1;
  std::string out, err, sim;
};

// A scratch folder, removed at the end.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
};

std::string VxkctlPath();
std::string VxksimPath();
// A loopback port nobody listens on right now.
std::string FreePort();

class CliRig {
 public:
  CliRig();
  // Runs vxkctl [link] args against a fresh vxksim on root (changes stay in root).
  CtlResult Run(const std::vector<std::string>& args, const std::vector<std::string>& simArgs = {},
                const std::string& key = "k", const std::string& simKey = "k",
                const std::optional<std::string>& input = std::nullopt);
  TempDir lockDir;
  TempDir root;
  std::vector<std::string> Env() const;
};

// A small JSON reader for checking --json output.
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;
  const Json& operator[](const std::string& name) const { return fields.at(name); }
};
// Throws std::runtime_error for malformed text.
Json ParseJson(const std::string& text);

}  // namespace vxk
